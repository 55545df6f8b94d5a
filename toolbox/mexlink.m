function mexlink()
%MEXLINK  Drive a programmable robot controller over a serial port.
%
% Port
%   linkPorts  - List the serial ports, with what the system knows of each.
%   linkAttach - Open and configure the serial port to the controller.
%   linkDetach - Close the serial port that linkAttach opened.
%   linkProbe  - Measure how the controller's messages arrive, and the T to use.
%
% Programs on the controller
%   linkRun    - Start a program stored on the controller.
%   linkHalt   - Stop the program running on the controller.
%
% Messages to the running program
%   linkSend   - Post three setpoints to the running program's mailbox.
%   linkGains  - Post three motor gains to the running program's mailbox.
%
% Reading what the controller sends
%   linkState  - Read the controller's newest status message.
%   linkPeek   - Read once from the port and show the last bytes received.
%
% Typical session
%   h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);   % 'COM3' on Windows
%   linkRun(h, 'balance');      % takes its first message as gains
%   linkGains(h, 60, 0, 0);
%   linkSend(h, 10, -10, 0);    % the next as setpoints: motor 1 forward, 2 back
%   pause(1);
%   [values, isShort] = linkState(h);
%   degrees = values(5:7)' / 0.017444444   % the three motor angles
%   linkSend(h, 0, 0, 0);
%   linkHalt(h);
%   linkDetach(h);
%
%   help linkAttach (or any command) tells its arguments, outputs and every
%   message it can raise; mexlink_build compiles the commands.
%
% Errors carry identifiers (mexlink:portBusy, mexlink:notAttached, ...),
% listed in each command's help, to branch on in try/catch.
%
% Example
%   try
%     h = linkAttach('COM3', 115200, 8, 0, 5);
%   catch err
%     if strcmp(err.identifier, 'mexlink:portBusy'), disp('close the other program'); end
%     rethrow(err);
%   end

  help('mexlink');
end
