function summary = mexlink_demo(port, outdir)
% MEXLINK_DEMO  Closed-loop position control of three motors through mexlink.
%   mexlink_demo(PORT, OUTDIR) attaches to the controller on PORT, starts its
%   'balance' program, posts motor gains, then for four seconds reads the
%   status with linkState and sends setpoints with linkSend so that the three
%   motor angles follow their targets. It halts, detaches, prints a summary
%   and writes OUTDIR/demo.png (angles against targets).
%
%   PORT defaults to the environment variable MEXLINK_PORT, else
%   /dev/ttyUSB0 ('COM3' on Windows); OUTDIR to demo-output in the current
%   folder. In MATLAB on Windows, e.g.: mexlink_demo('COM3');
%   Against the simulated controller: scripts/run_example.sh mexlink_demo
  if nargin < 1
    port = '';
  end
  port = example_port(port);
  if nargin < 2 || isempty(outdir), outdir = fullfile(pwd, 'demo-output'); end
  if ~exist(outdir, 'dir'), mkdir(outdir); end

  degPerUnit = 1 / 0.017444444;     % linkState angles -> degrees
  kp = 1.2 / 5.8976;                % setpoint per degree of error
  duration = 4;

  h = linkAttach(port, 115200, 8, 0, 5);
  cleanup = onCleanup(@() detachQuietly(h));
  linkRun(h, 'balance');
  linkGains(h, 60, 0, 0);

  n = 0; fresh = 0; short = 0; lastSeq = -1;
  t = zeros(0, 1); angle = zeros(0, 3); target = zeros(0, 3); cost = zeros(0, 1);
  t0 = tic;
  while toc(t0) < duration
    callStart = tic;
    [values, isShort] = linkState(h);
    cost(end + 1, 1) = toc(callStart);
    if isShort
      short = short + 1;
      continue;
    end
    if values(1) == lastSeq, continue; end
    lastSeq = values(1);
    fresh = fresh + 1;
    now = toc(t0);
    goal = targets(now);
    deg = values(5:7).' * degPerUnit;
    linkSend(h, kp * (goal(1) - deg(1)), kp * (goal(2) - deg(2)), kp * (goal(3) - deg(3)));
    n = n + 1;
    t(n, 1) = now; angle(n, :) = deg; target(n, :) = goal;
  end
  linkSend(h, 0, 0, 0);
  linkHalt(h);
  clear cleanup;

  settled = t > duration - 1;
  err = abs(angle(settled, :) - target(settled, :));
  summary = struct('frames', fresh, 'shortReads', short, 'meanStateMs', 1000 * mean(cost), ...
                   'finalErrorDeg', max(err, [], 1));
  fprintf('\n%-28s %10s\n', 'quantity', 'value');
  fprintf('%-28s %10d\n', 'fresh status frames', fresh);
  fprintf('%-28s %10d\n', 'short reads', short);
  fprintf('%-28s %10.1f\n', 'mean linkState time (ms)', summary.meanStateMs);
  for k = 1:3
    fprintf('%-28s %10.1f\n', sprintf('motor %d error, last 1 s (deg)', k), summary.finalErrorDeg(k));
  end

  plotRun(t, angle, target, duration, fullfile(outdir, 'demo.png'));
end

function goal = targets(t)
  goal = [90 * (t > 0.5), 45 * sin(2 * pi * 0.5 * t), -60 * (t > 1.5)];
end

function detachQuietly(h)
  try
    linkDetach(h);
  catch err
    fprintf(2, '%s\n', err.message);
  end
end

function plotRun(t, angle, target, duration, file)
  fig = png_figure([900 1000]);
  names = {'Motor 1: step to 90 degrees at 0.5 s', 'Motor 2: sine of 45 degrees at 0.5 Hz', ...
           'Motor 3: step to -60 degrees at 1.5 s'};
  for k = 1:3
    ax = subplot(3, 1, k);
    % Lower each panel's top, so its title clears the time axis above it.
    set(ax, 'Position', get(ax, 'Position') - [0 0 0 0.045]);
    lines = plot(ax, t, target(:, k), 'k--', t, angle(:, k), 'b-');
    set(lines, 'LineWidth', 1.5);
    set(ax, 'FontSize', 8);   % after plot, which resets the axes
    xlim(ax, [0 duration]);
    span = [min([target(:, k); angle(:, k)]), max([target(:, k); angle(:, k)])];
    ylim(ax, span + [-0.15 0.15] * max(diff(span), 1));
    title(ax, names{k}, 'FontSize', 9);
    ylabel(ax, 'angle (degrees)', 'FontSize', 8);
    xlabel(ax, 'time (s)', 'FontSize', 8);
    grid(ax, 'on');
    if k == 1
      legend(ax, 'target', 'measured', 'Location', 'southeast');   % empty after the step
    end
  end
  png_figure(fig, file);
  fprintf('plot written to %s\n', file);
end
