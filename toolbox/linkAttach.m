function varargout = linkAttach(varargin)
%LINKATTACH  Open and configure the serial port to the controller.
%
%   h = linkAttach(portName, baudRate, byteSize, parity, timeoutMs)
%
%   Opens the serial port named exactly as given, sets its baud rate, byte
%   size, parity and read time-out, and returns the handle that every other
%   mexlink command takes. The port stays open until linkDetach(h), and
%   programs that try to open it meanwhile are refused (on Linux and macOS,
%   one run as root only if it locks the port as linkAttach does). A program
%   that had the port open before keeps it: on Windows linkAttach then fails
%   (mexlink:portBusy); on Linux and macOS it fails only if that program
%   holds the port exclusively, and otherwise both read the line, each
%   getting part of what the controller sends. Close such programs first.
%
%   Arguments
%     portName   char row vector, the port's name as the system knows it:
%                  '/dev/ttyUSB0', '/dev/ttyACM0'  USB serial adapter (Linux)
%                  '/dev/rfcomm0'                  Bluetooth serial (Linux)
%                  '/dev/cu.usbserial-XXXX'        USB serial adapter (macOS)
%                  'COM3'                          Windows, COM1 to COM9
%                  '\\.\COM10'                     Windows, COM10 and above
%                  'socket://HOST:PORT'            a TCP connection: a serial
%                                                  bridge on the network, or
%                                                  the simulated controller
%                linkPorts lists the serial ports of this computer.
%     baudRate   bits per second, e.g. 9600, 57600, 115200; the rates the
%                port's driver accepts
%     byteSize   data bits per character, 5 to 8 (8 for the controller)
%     parity     0 none, 1 odd, 2 even, 3 mark, 4 space
%     timeoutMs  the read time-out T in milliseconds, 0 or more. A read of up
%                to 50 bytes ends when 50 bytes have arrived, when more than
%                T ms pass between two bytes, or when T + 50*T ms have passed
%                in all (so on a silent line after 51*T ms). T = 0 means no
%                time-out: a read waits until 50 bytes have arrived.
%                For linkState pick T larger than the gaps within one of the
%                controller's messages and smaller than the pause between
%                two of them. Measured: 5 over a cable (messages every 10 ms
%                or slower), 30 through a USB serial adapter at its default
%                16 ms latency timer, 40 over Bluetooth (each with messages
%                every 50 ms or slower). A T below the link's gaps gives
%                wrong values that look valid (isShort = 0): linkProbe
%                measures your link and recommends a T.
%   Numbers may be of any numeric or logical class, full or sparse;
%   fractions are truncated toward zero.
%   A socket (socket://HOST:PORT, HOST a name or an address, an IPv6 address
%   in brackets, PORT 1 to 65535) carries raw bytes, nothing else. Its baud
%   rate, byte size and parity are checked as a serial port's would be (a
%   rate above 0, 5 to 8 bits, parity 0 to 4), then left unused; T and the
%   read rule hold as on a serial line. The host is looked up in a thread of
%   its own and the connection must come up within 5 s in all, or the attach
%   fails; Ctrl-C ends the wait (a lookup still running is left to finish on
%   its own). Every other command takes such a handle as any other; as on
%   a serial line, a write that finds about 4 KiB unsent waits, and fails
%   after about 2 s.
%   At most 32 ports are attached at a time.
%   The port is put in raw binary mode; stop bits and hardware (RTS/CTS) flow
%   control stay as the port had them, software (XON/XOFF) flow control is
%   switched off on Linux and macOS, as the controller's messages are binary.
%
%   Output
%     h          1x1 uint32, the port handle
%
%   Prints "*hSerial: N" (the system's number for the port, -1 when it could
%   not be opened) and, once the port is set up, "openSerial: Successful!".
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: five input arguments required
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:portNameNotText     Error: arg0 must be a string
%                                   portName is not a char array (in MATLAB:
%                                   single quotes, not a "string")
%     mexlink:portNameNotRow      Error: arg0 must be a row vector
%                                   portName has other than one row
%     mexlink:notNumber           Error: argN must be a number
%                                   argument N (1 to 4) is empty or not
%                                   numeric or logical
%     mexlink:noSuchPort          Error: serial port does not exist
%                                   no port of that name (or the name holds
%                                   a char(0)); a socket address that is
%                                   not socket://HOST:PORT, or a host name
%                                   that does not resolve
%     mexlink:portBusy            Error: opening the serial port
%                                   another handle of this session, or
%                                   another program, holds the port
%     mexlink:portDenied          Error: opening the serial port
%                                   no permission (Linux: join the group
%                                   dialout, then log in again)
%     mexlink:openFailed          Error: opening the serial port
%                                   any other reason the system gives; for
%                                   a socket, a refused connection (nothing
%                                   listens there, or a server of one client
%                                   at a time has one) or none within 5 s
%     mexlink:tooManyPorts        Error: opening the serial port
%                                   32 ports are attached already
%     mexlink:stateFailed         Error: setting serial port state
%                                   not a serial port, or a baud rate, byte
%                                   size or parity that the port refuses
%     mexlink:timeoutFailed       Error: setting timeout
%                                   timeoutMs below 0
%     mexlink:interrupted         Error: connection interrupted by Ctrl-C
%                                   you pressed Ctrl-C while a socket
%                                   connected
%   Warnings
%     mexlink:openCause           PORT: CAUSE (IDENTIFIER)
%                                   printed just before an error whose text
%                                   several causes share: the port, what went
%                                   wrong (in use, no permission, the
%                                   system's own words, COM10 and above
%                                   written without \\.\, a socket's cause,
%                                   a Bluetooth link's Incoming port as
%                                   below), and the error's identifier
%     mexlink:incomingPort        PORT: a Bluetooth link's Incoming port, ...
%                                   Windows: printed before "openSerial:
%                                   Successful!" when the port is the one of
%                                   a Bluetooth link that waits for the
%                                   controller to call, on which nothing may
%                                   ever arrive (linkState's isShort stays
%                                   1). The port is attached all the same;
%                                   the warning says to attach the link's
%                                   Outgoing port, which linkPorts names
%     mexlink:nameCopyFailed      Error: allocating memory to string
%                                   the port name could not be copied;
%                                   no handle is returned
%   To read an error's identifier: [msg, id] = lasterr in Octave;
%   err.identifier in MATLAB's try/catch, or MException.last.
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);   % 'COM3' on Windows
%     linkDetach(h);
%
%   See also linkDetach, linkRun, linkState, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
