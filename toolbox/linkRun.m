function varargout = linkRun(varargin)
%LINKRUN  Start a program stored on the controller.
%
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
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: two input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:programNameNotText  Input must be a string
%                                   name is not a char array
%     mexlink:badProgramName      Error: data should be a linear vector or is too long
%                                   name has other than one row ('' has
%                                   none), more than 15 characters, or a
%                                   char(0); nothing is sent
%     mexlink:nameCopyFailed      Error: allocating memory to string
%                                   name could not be copied
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
%     linkRun(h, 'drive');       % the program sends status messages
%     [values, isShort] = linkState(h)
%     linkHalt(h);
%     linkDetach(h);
%
%   See also linkHalt, linkSend, linkGains, linkState, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
