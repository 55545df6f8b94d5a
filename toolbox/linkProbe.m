function varargout = linkProbe(varargin)
%LINKPROBE  Measure how the controller's messages arrive, and the T to use.
%
%   info = linkProbe(portName, baudRate, byteSize, parity, seconds)
%
%   Opens the port as linkAttach does, notes for the given time when, and
%   how many, bytes arrive, then puts the port's settings back as it found
%   them and closes it. From that it tells the size of the controller's
%   status messages, how often they come, the longest gap inside one (a USB
%   serial adapter hands bytes over when its latency timer fires, 16 ms by
%   default; a Bluetooth link in packets) and the shortest quiet between two,
%   and so the read time-outs T (linkAttach's timeoutMs) that cannot cut a
%   message on this link. A T below the gaps inside a message gives wrong
%   values that look valid (isShort = 0) in linkState; probe once per link.
%
%   The controller must be sending: start its program first (linkAttach,
%   linkRun, linkDetach: the program goes on running), as the example
%   does. The port must not be attached meanwhile: linkProbe opens it
%   itself.
%
%   Arguments
%     portName   the port, as for linkAttach (also 'socket://HOST:PORT')
%     baudRate, byteSize, parity
%                as for linkAttach
%     seconds    how long to listen, more than 0 and at most 600; a few
%                seconds (100 messages or more) see a link's worst gaps
%   Numbers may be of any numeric or logical class; fractions of the first
%   three are truncated toward zero.
%
%   Output (a 1x1 struct; also printed, in short)
%     frames               whole messages seen
%     frameBytes           their size in bytes (0: none seen)
%     framePeriodMs        one every ... ms, on average
%     misshapenFrames      how many came cut, or joined to the next
%     longestGapInFrameMs  the longest gap inside a message
%     shortestQuietMs      the shortest quiet between two
%     safeT                [low high]: T from low to high ms cannot cut a
%                          message; [] when no T is safe on this link
%     recommendedT         the T to pass to linkAttach; [] when none
%     advice               what to change when no T is safe (send less
%                          often, or lower the adapter's latency timer), or
%                          that too few messages came; '' otherwise
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: five input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:portNameNotText     Error: arg0 must be a string
%     mexlink:portNameNotRow      Error: arg0 must be a row vector
%     mexlink:notNumber           Error: argN must be a number
%     mexlink:badProbeTime        Error: seconds must be more than 0 and at most 600
%     mexlink:noSuchPort          Error: serial port does not exist
%     mexlink:portBusy            Error: opening the serial port
%     mexlink:portDenied          Error: opening the serial port
%     mexlink:openFailed          Error: opening the serial port
%     mexlink:stateFailed         Error: setting serial port state
%                                   each as for linkAttach (help linkAttach)
%     mexlink:readFailed          Error: could not read from serial port
%                                   the device went away while listening
%     mexlink:interrupted         Error: read interrupted by Ctrl-C
%     mexlink:interrupted         Error: connection interrupted by Ctrl-C
%                                   you pressed Ctrl-C while it listened,
%                                   or while a socket connected
%   Warnings
%     mexlink:openCause           PORT: CAUSE (IDENTIFIER)
%                                   before an open error whose text several
%                                   causes share, as for linkAttach
%     mexlink:nameCopyFailed      Error: allocating memory to string
%
%   To read an error's identifier: [msg, id] = lasterr in Octave;
%   err.identifier in MATLAB's try/catch, or MException.last.
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 20);   % 'COM3' on Windows
%     linkRun(h, 'drive');
%     linkDetach(h);
%     info = linkProbe('/dev/ttyUSB0', 115200, 8, 0, 5);
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, info.recommendedT);
%     linkHalt(h);
%     linkDetach(h);
%
%   See also linkAttach, linkState, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
