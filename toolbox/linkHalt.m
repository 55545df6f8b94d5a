function varargout = linkHalt(varargin)
%LINKHALT  Stop the program running on the controller.
%   linkHalt(h)
%
%   Asks the controller to stop the program that linkRun started. The
%   controller sends no answer.
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%
%   No output.
%
%   Errors
%     Error: one input arguments required
%     Error: too many output arguments
%     Error: invalid port handle            h is not a non-empty real uint32
%                                           array
%     Error: serial port does not exist     h is 4294967295 (no port)
%     Error: could not write to serial port h is not an open port, or the
%                                           port stopped taking bytes
%
%   Example
%     linkRun(h, 'balance');
%     linkHalt(h);
%
%   See also linkRun, linkDetach, mexlink.

  % Stands for the plug-in until it is built: the built linkHalt beside this
  % file is what MATLAB and Octave run.
  error('mexlink:notBuilt', '%s is not built yet: run mexlink_build (see README)', mfilename());
end
