function varargout = linkHalt(varargin)
%LINKHALT  Stop the program running on the controller.
%
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
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: one input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:invalidHandle       Error: invalid port handle
%                                   h is not a non-empty real uint32 array
%     mexlink:noPort              Error: serial port does not exist
%                                   h is 4294967295 (no port)
%     mexlink:notAttached         Error: could not write to serial port
%                                   h names no port attached in this
%                                   session (detached, or released by
%                                   clear all)
%     mexlink:writeFailed         Error: could not write to serial port
%                                   the port took no bytes for about 2 s,
%                                   or the device went away
%     mexlink:interrupted         Error: write interrupted by Ctrl-C
%                                   you pressed Ctrl-C while the line took
%                                   no bytes; part of the telegram may have
%                                   gone out, the port stays attached
%
%   To read an error's identifier: [msg, id] = lasterr in Octave;
%   err.identifier in MATLAB's try/catch, or MException.last.
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%     linkRun(h, 'drive');
%     linkSend(h, 5, 5, 0);      % motors 1 and 2 turn
%     pause(1);
%     linkHalt(h);               % the program stops, the motors lose power
%     linkDetach(h);
%
%   See also linkRun, linkDetach, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
