% READ_SENSORS  Read the controller's sensors in a loop and print them.
%   Attaches to the controller, starts its 'drive' program with motors 1
%   and 2 turning slowly, prints ten status messages (the four sensor values
%   and the three motor angles in degrees), then stops and detaches.
%
%   The port is taken from the variable port if set, else from the
%   environment variable MEXLINK_PORT, else /dev/ttyUSB0 ('COM3' on
%   Windows; port = 'socket://127.0.0.1:26741' for the archive's simulated
%   controller, simulator\linksim.exe); the read time-out from the
%   variable T if set, else from MEXLINK_T, else 5 (a cable). With the
%   simulated controller
%   (scripts/run_example.sh read_sensors) sensor 1 counts the messages,
%   sensor 2 is light (0..1023), sensor 3 the distance to a wall (cm) and
%   sensor 4 the battery (mV).

if ~exist('port', 'var')
  port = '';
end
port = example_port(port);
if ~exist('T', 'var')
  T = [];
end
T = example_timeout(T);
program = 'drive';               % a stored program that sends status messages
count = 10;                      % messages to print
degPerUnit = 1 / 0.017444444;    % linkState's angles -> degrees

% 115200 baud, 8 data bits, no parity, read time-out T ms.
h = linkAttach(port, 115200, 8, 0, T);
try
  linkRun(h, program);
  linkSend(h, 5, 5, 0);
  % Sensors as the controller reports them (the simulator's: a message count,
  % light, distance in cm, battery in mV); motor angles in degrees.
  fprintf('%8s %8s %8s %8s %9s %9s %9s\n', 'sensor1', 'sensor2', 'sensor3', 'sensor4', ...
          'motor1', 'motor2', 'motor3');
  fprintf('%8s %8s %8s %8s %9s %9s %9s\n', '(raw)', '(raw)', '(raw)', '(raw)', '(deg)', '(deg)', '(deg)');
  % Called back to back, each linkState returns the next message as it ends.
  n = 0;
  started = tic;
  while n < count
    [values, isShort] = linkState(h);
    if isShort
      if toc(started) > 5
        error('read_sensors: no status messages; is program ''%s'' on the controller?', program);
      end
      continue;
    end
    n = n + 1;
    fprintf('%8d %8d %8d %8d %9.1f %9.1f %9.1f\n', values(1:4), values(5:7) * degPerUnit);
  end
  linkSend(h, 0, 0, 0);
  linkHalt(h);
catch err
  linkDetach(h);
  rethrow(err);
end
linkDetach(h);
