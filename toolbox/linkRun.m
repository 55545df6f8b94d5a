function varargout = linkRun(varargin)
%LINKRUN  Start a program stored on the controller.
%   linkRun(h, name)
%
%   Asks the controller to start its stored program called name. The
%   controller sends no answer: whether the program runs shows in what it
%   sends afterwards (see linkState).
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%     name       char array of one row and 0 to 15 characters, the program's
%                name exactly as stored on the controller
%
%   No output.
%
%   Errors
%     Error: two input arguments required
%     Error: too many output arguments
%     Input must be a string                name is not a char array
%     Error: data should be a linear vector or is too long
%                                           name has other than one row
%                                           ('' has none) or more than 15
%                                           characters
%     Error: allocating memory to string    name could not be copied
%     Error: invalid port handle            h is not a non-empty real uint32
%                                           array
%     Error: serial port does not exist     h is 4294967295 (no port)
%     Error: could not write to serial port h is not an open port, or the
%                                           port stopped taking bytes
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%     linkRun(h, 'balance');
%
%   See also linkHalt, linkSend, linkGains, linkState, mexlink.

  % Stands for the plug-in until it is built: the built linkRun beside this
  % file is what MATLAB and Octave run.
  error('mexlink:notBuilt', '%s is not built yet: run mexlink_build (see README)', mfilename());
end
