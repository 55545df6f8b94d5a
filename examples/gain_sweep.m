% GAIN_SWEEP  Step response of motor 1 for a range of controller gains.
%   For each gain the controller's 'balance' program is started, given the
%   gains with linkGains (its first mailbox message after the start) and a
%   step in motor 1's setpoint with linkSend. Motor 1's angle is then read
%   with linkState for one second. Each row shows the angle reached 0.1,
%   0.2, 0.5 and 1 s after the step, and the speed at the end: the higher
%   the gain, the sooner the motor is up to speed.
%
%   The port is taken from the variable port if set, else from the
%   environment variable MEXLINK_PORT, else /dev/ttyUSB0 ('COM3' on
%   Windows; port = 'socket://127.0.0.1:26741' for the archive's simulated
%   controller, simulator\linksim.exe); the read time-out from the
%   variable T if set, else from MEXLINK_T, else 5 (a cable). Against the
%   simulated controller here: scripts/run_example.sh gain_sweep

if ~exist('port', 'var')
  port = '';
end
port = example_port(port);
if ~exist('T', 'var')
  T = [];
end
T = example_timeout(T);
gains = [10 20 40 80 160 255];   % first gain (0..255); the other two stay 0
step = 8.5;                      % linkSend value: 8.5 * 5.8976 -> 50 of 100
duration = 1.0;                  % seconds of response per gain
times = [0.1 0.2 0.5 1.0];       % when to report the angle
degPerUnit = 1 / 0.017444444;    % linkState's angles -> degrees

h = linkAttach(port, 115200, 8, 0, T);
try
  % Motor 1's angle after the step, and its speed over the last 0.2 s.
  fprintf('%7s %9s %9s %9s %9s %9s\n', 'gain', 'at 0.1 s', 'at 0.2 s', 'at 0.5 s', 'at 1 s', 'speed');
  fprintf('%7s %9s %9s %9s %9s %9s\n', '(0-255)', '(deg)', '(deg)', '(deg)', '(deg)', '(deg/s)');
  for gain = gains
    linkRun(h, 'balance');
    linkGains(h, gain, 0, 0);
    linkSend(h, step, 0, 0);
    started = tic;
    t = 0;
    angle = 0;
    while toc(started) < duration + 0.1
      [values, isShort] = linkState(h);
      if ~isShort
        t(end + 1) = toc(started);
        angle(end + 1) = values(5) * degPerUnit;
      end
    end
    linkSend(h, 0, 0, 0);
    linkHalt(h);
    if numel(t) < 5
      error('gain_sweep: too few status messages; is program ''balance'' on the controller?');
    end
    reached = interp1(t, angle, times);
    last = t > duration - 0.2;
    slope = polyfit(t(last), angle(last), 1);
    fprintf('%7d %9.1f %9.1f %9.1f %9.1f %9.0f\n', gain, reached, slope(1));
  end
catch err
  linkDetach(h);
  rethrow(err);
end
linkDetach(h);
