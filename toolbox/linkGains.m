function varargout = linkGains(varargin)
%LINKGAINS  Post three motor gains to the running program's mailbox.
%
%   linkGains(h, g1, g2, g3)
%
%   Sends one mailbox message holding three gains, e.g. the P, I and D gains
%   of the program's motor controller. Each value is truncated toward zero
%   and must then be a whole number from 0 to 255. How the program uses the
%   gains, and which of its mailbox messages it takes as gains, is up to the
%   program (a typical one takes the first message after it starts).
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%     g1,g2,g3   real scalars of any numeric or logical class, full or
%                sparse, 0 to 255 after truncation (255.9 is taken as 255,
%                -0.5 as 0); of an array, the first element is used (of a
%                sparse array, the first nonzero one, or 0)
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
%                                   gN (N = 1 to 3) is empty or not numeric
%                                   or logical
%     mexlink:invalidGains        Error: invalid motor PID value(s)
%                                   a gain outside 0..255 (or NaN);
%                                   nothing is sent
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
%     linkRun(h, 'balance');     % takes its first message as gains
%     linkGains(h, 60, 0, 0);
%     linkSend(h, 10, 10, 0);    % and the later ones as setpoints
%     pause(1);
%     linkSend(h, 0, 0, 0);
%     linkHalt(h);
%     linkDetach(h);
%
%   See also linkSend, linkRun, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
