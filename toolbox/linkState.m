function varargout = linkState(varargin)
%LINKSTATE  Read the controller's newest status message.
%
%   [values, isShort] = linkState(h)
%
%   Reads everything the controller has sent since the last read, in reads
%   of up to 50 bytes, until a read ends short because the line paused
%   (more than T ms without a byte, T being linkAttach's timeoutMs). The last
%   20 bytes read are the newest status message (a message that the 50-byte
%   reads cut in two is still read whole):
%     values(1:4)  four unsigned 16-bit sensor values (0 to 65535)
%     values(5:7)  three motor angles: whole degrees times 0.017444444,
%                  close to radians but 0.05% short (pi/180 is
%                  0.017453293); values(5:7) / 0.017444444 gives the
%                  controller's whole degrees back exactly.
%                  The controller sends an angle folded, as its encoding
%                  has it: a raw value above 32767 stands for raw - 65535.
%                  So an angle jumps where it crosses the fold, about 91
%                  turns out: raw 32767 reads +571.602 (32767 degrees),
%                  raw 32768 reads -571.602 (-32767 degrees).
%   The call returns about T ms after the newest message ended. On a silent
%   line it returns after T + 50*T ms with isShort = 1; Ctrl-C ends the
%   wait sooner.
%   Pick T larger than the gaps within one message and smaller than the
%   pause between two messages: 5 over a cable, 30 through a USB serial
%   adapter, 40 over Bluetooth (see linkAttach), or what linkProbe
%   recommends for your link. A T below the gaps cuts a message, and the
%   cut one decodes as wrong values with isShort = 0: nothing tells them
%   from a true status. T = 0 does not suit linkState: its reads never end
%   on a pause.
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%
%   Outputs
%     values     7x1 double, as above; all zero when isShort is 1
%     isShort    1x1 int8, 1 when too few bytes arrived for a status message
%                (fewer than 23 in the last read and the 22 before it: nothing
%                came, or the messages ended exactly with a full 50-byte
%                read), else 0. Read again when it is 1.
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: one input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:invalidHandle       Error: invalid port handle
%                                   h is not a non-empty real uint32 array
%     mexlink:neverPaused         Error: the serial line never paused
%                                   after about 2 s (plus one read's
%                                   T + 50*T ms) bytes still kept coming
%                                   without a pause of T ms: T is 0 or too
%                                   large for the controller's send rate
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
%     linkSend(h, 10, 0, 0);
%     pause(1);
%     [values, isShort] = linkState(h);
%     if ~isShort, fprintf('motor 1 at %.1f deg\n', values(5) / 0.017444444); end
%     linkHalt(h);
%     linkDetach(h);
%
%   See also linkPeek, linkAttach, linkSend, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
