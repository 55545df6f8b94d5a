function varargout = linkPorts(varargin)
%LINKPORTS  List the serial ports, with what the system knows of each.
%
%   [names, descriptions] = linkPorts(root)
%   [names, descriptions] = linkPorts()
%   linkPorts
%
%   Lists the serial ports of this computer, to find the one the controller
%   is on: plug it in (or pair it), call linkPorts, and pass the name it
%   shows to linkAttach. It only looks: it opens no port, changes nothing
%   and never waits on a device, so ports other programs hold are listed too.
%   The ports are sorted by name, numbers by value: COM2 before COM10,
%   /dev/ttyUSB2 before /dev/ttyUSB10.
%
%   Windows: the ports the drivers have registered (those Device Manager
%   shows under "Ports (COM & LPT)"), each with its name there, the vendor
%   and product IDs of a USB adapter ("USB 0403:6001"), and for a Bluetooth
%   link which of its two ports it is: "Outgoing: use this one" is the port
%   that calls the controller, the one to attach; "Incoming: not this one"
%   waits for the controller to call.
%   Linux: /dev/ttyUSB* and /dev/ttyACM* (USB adapters and boards),
%   /dev/rfcomm* (Bluetooth links bound with rfcomm) and /dev/ttyS* where
%   the kernel found a UART behind it; described by what the kernel reports:
%   a USB device's vendor and product IDs, maker and product, a Bluetooth
%   link's address and channel, and "by-id NAME", the link
%   /dev/serial/by-id/NAME, a name for linkAttach that stays the same
%   whichever number the adapter gets.
%   macOS and other systems: /dev/cu.* (not the tty.* twins, which are for
%   dial-in), without a description.
%
%   Arguments
%     root       optional, char row vector, default '/': the folder taken
%                for / on Linux and macOS. It is for tests: a folder laid
%                out like / (dev/, sys/) is listed as the system would be,
%                and each name then starts with root. Windows does not use
%                it.
%
%   Outputs
%     names         n-by-1 cell array of char row vectors, each a name
%                   linkAttach takes as it is: 'COM3', '\\.\COM12' (COM10
%                   and above), '/dev/ttyUSB0'; 0-by-1 when there is none
%     descriptions  n-by-1 cell array of char row vectors beside names:
%                   what the system knows of each port, '' when nothing
%
%   Called with no output, prints a line per port, its name and then its
%   description, or "no serial port found".
%
%   Errors (identifier, then the message; err.identifier in try/catch)
%     mexlink:inputCount          Error: too many input arguments
%                                   more than one argument
%     mexlink:outputCount         Error: too many output arguments
%     mexlink:rootNotText         Error: arg0 must be a string
%                                   root is not a char array (in MATLAB:
%                                   single quotes, not a "string")
%     mexlink:rootNotRow          Error: arg0 must be a row vector
%                                   root has other than one row
%     mexlink:nameCopyFailed      Error: allocating memory to string
%                                   root or the list could not be stored
%     mexlink:noSuchFolder        Error: folder does not exist
%                                   root names no folder that can be read
%                                   (Linux, macOS)
%
%   To read an error's identifier: [msg, id] = lasterr in Octave;
%   err.identifier in MATLAB's try/catch, or MException.last.
%
%   Example
%     linkPorts                              % one line per port
%     [names, descriptions] = linkPorts();
%     fprintf('%d serial ports\n', numel(names));
%
%   See also linkAttach, mexlink.

  % Runs only when the plug-in of the same name did not: says why.
  plugin_not_loaded(mfilename('fullpath'));
end
