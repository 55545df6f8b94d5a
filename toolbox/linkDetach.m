function varargout = linkDetach(varargin)
%LINKDETACH  Close the serial port that linkAttach opened.
%
%   linkDetach(h)
%
%   Closes the port, so that this or another program can attach it again,
%   also when its device went away (unplugged, Bluetooth link lost). Bytes
%   still being sent go out first (waiting at most about 2 s, and no more
%   than 0.5 s once they stop moving). A handle is good for one linkDetach;
%   afterwards it names no port: linkAttach does not hand its number out
%   again for the next 16 ports it attaches, so a kept handle fails (with
%   the identifier mexlink:notAttached) rather than drive another port.
%   Past that, or where the system gave a later port the number anyway, the
%   old handle names that port.
%
%   Arguments
%     h          the 1x1 uint32 handle returned by linkAttach
%
%   No output. Prints "closeSerial: Successful!".
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: too many input arguments
%                                   more than one argument
%     mexlink:inputCount          Error: one input arguments required  no argument
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:invalidHandle       Error: invalid port handle
%                                   h is not a non-empty real uint32 array
%     mexlink:noPort              Error: serial port does not exist.
%                                   h is 4294967295, the value that stands
%                                   for no port
%     mexlink:notAttached         Error: could not close serial port.
%                                   h names no port attached in this
%                                   session: detached already, released by
%                                   clear all (or clear functions, clear
%                                   linkAttach), or never attached
%     mexlink:closeFailed         Error: could not close serial port.
%                                   the system refused to close the port
%
%   To read an error's identifier: [msg, id] = lasterr in Octave;
%   err.identifier in MATLAB's try/catch, or MException.last.
%
%   Example
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%     linkDetach(h);             % prints closeSerial: Successful!
%
%   See also linkAttach, linkHalt, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
