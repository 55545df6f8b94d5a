function varargout = linkSend(varargin)
%LINKSEND  Post three setpoints to the running program's mailbox.
%
%   linkSend(h, x1, x2, x3)
%
%   Sends one mailbox message holding three setpoints, e.g. one per motor.
%   Each value x is converted to a whole number between -100 and 100:
%     v = x * 5.8976, limited to -100..100 (NaN gives -100), then truncated
%     toward zero; it travels as v + 100, a number from 0 to 200.
%   So x = 1 gives 5, x = -1 gives -5, |x| < 0.17 gives 0, and |x| of
%   16.96 or more full scale. The program on the controller decides what v
%   means; the simulator's programs, and one that drives motors the usual
%   way, take it as motor power in percent (negative: reverse). For power
%   p, send x = p / 5.8976.
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%     x1,x2,x3   real scalars of any numeric or logical class, full or
%                sparse (of an array, the first element is used; of a sparse
%                array, the first nonzero one, or 0)
%
%   No output. One output may be asked for (as in an anonymous function)
%   but is never set.
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: four input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:invalidHandle       Error: invalid port handle
%                                   h is not a non-empty real uint32 array
%     mexlink:notNumber           Error: argN must be a number
%                                   xN (N = 1 to 3) is empty or not numeric
%                                   or logical
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
%     linkSend(h, 10, -10, 0);   % sends 158, 42, 100: motor 1 forward, 2 back
%     pause(1);
%     linkSend(h, 0, 0, 0);      % all stop
%     linkHalt(h);
%     linkDetach(h);
%
%   See also linkGains, linkState, linkRun, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
