function varargout = linkDetach(varargin)
%LINKDETACH  Close the serial port that linkAttach opened.
%   linkDetach(h)
%
%   Closes the port, so that this or another program can attach it again.
%   On Linux and macOS bytes still being sent go out first (waiting at most
%   about 2 s). A handle is good for one linkDetach; afterwards it is stale.
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%
%   No output. Prints "closeSerial: Successful!".
%
%   Errors
%     Error: too many input arguments
%     Error: too many output arguments
%     Error: one input arguments required
%     Error: invalid port handle           h is not a non-empty real uint32
%                                          array
%     Error: serial port does not exist.   h is 4294967295, the value that
%                                          stands for no port
%     Error: could not close serial port.  h is not an open port, e.g. it
%                                          was closed already
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%     linkDetach(h);
%
%   See also linkAttach, linkHalt, mexlink.

  % Stands for the plug-in until it is built: the built linkDetach beside this
  % file is what MATLAB and Octave run.
  error('mexlink:notBuilt', '%s is not built yet: run mexlink_build (see README)', mfilename());
end
