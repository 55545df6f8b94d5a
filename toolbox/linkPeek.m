function varargout = linkPeek(varargin)
%LINKPEEK  Read once from the port and show the last bytes received.
%
%   bytes = linkPeek(h)
%
%   Makes one read of up to 50 bytes under the read time-out rule of the
%   port (see linkAttach): it ends when 50 bytes have arrived, when more than
%   T ms pass between two bytes, or when T + 50*T ms have passed in all.
%   With T = 0 it waits until 50 bytes have arrived, however long that
%   takes; Ctrl-C ends the wait. The bytes read are used up. Prints
%   "NumReadBytes: N", the number of bytes the read got. Useful for looking
%   at the raw line.
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%
%   Output
%     bytes      7x1 uint8, the last seven bytes of the read, oldest first;
%                all zero when fewer than seven arrived
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: one input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:invalidHandle       Error: invalid port handle
%                                   h is not a non-empty real uint32 array
%     mexlink:notAttached         Error: could not read from serial port
%                                   h names no port attached in this
%                                   session (detached, or released by
%                                   clear all)
%     mexlink:readFailed          Error: could not read from serial port
%                                   the device went away (unplugged,
%                                   switched off)
%     mexlink:interrupted         Error: read interrupted by Ctrl-C
%                                   you pressed Ctrl-C while the read
%                                   waited; the port stays attached
%
%   To read an error's identifier: [msg, id] = lasterr in Octave;
%   err.identifier in MATLAB's try/catch, or MException.last.
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%     linkRun(h, 'drive');
%     bytes = linkPeek(h);       % prints NumReadBytes: and the count
%     disp(bytes.');             % the end of a status message
%     linkHalt(h);
%     linkDetach(h);
%
%   See also linkState, linkAttach, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
