function summary = mexlink_demo(port, outdir, controller, T)
% MEXLINK_DEMO  Closed-loop position control of three motors through mexlink.
%   mexlink_demo(PORT, OUTDIR, CONTROLLER, T) attaches to the controller on
%   PORT, starts its 'balance' program, posts motor gains, then for four
%   seconds reads the status with linkState and sends setpoints with
%   linkSend so that the three motor angles follow their targets. It halts,
%   detaches, prints a summary (how closely each motor followed its target
%   in the last second) and writes OUTDIR/demo.png (angles against targets,
%   captioned with CONTROLLER, the port and the gains).
%
%   PORT defaults to the environment variable MEXLINK_PORT, else
%   /dev/ttyUSB0 ('COM3' on Windows); OUTDIR to demo-output in the current
%   folder; CONTROLLER to 'controller'; T (linkAttach's read time-out, ms)
%   to the environment variable MEXLINK_T, else 5 (a cable; see "The read
%   time-out T" in README.md for other links). In MATLAB on Windows, e.g.:
%   mexlink_demo('COM3');
%   or, with the archive's simulated controller running (double-click
%   simulator\linksim.exe): mexlink_demo('socket://127.0.0.1:26741');
%   Against the simulated controller here: scripts/run_example.sh mexlink_demo
  if nargin < 1
    port = '';
  end
  port = example_port(port);
  if nargin < 2 || isempty(outdir), outdir = fullfile(pwd, 'demo-output'); end
  if nargin < 3 || isempty(controller), controller = 'controller'; end
  if nargin < 4, T = []; end
  T = example_timeout(T);
  if ~exist(outdir, 'dir'), mkdir(outdir); end

  degPerUnit = 1 / 0.017444444;     % linkState angles -> degrees
  powerPerDeg = 1.2;                % motor power (percent) per degree of error
  kp = powerPerDeg / 5.8976;        % the same as a linkSend value
  gains = [60 0 0];
  duration = 4;
  window = 1;                       % the last second, where the errors are measured

  h = linkAttach(port, 115200, 8, 0, T);
  cleanup = onCleanup(@() detachQuietly(h));
  linkRun(h, 'balance');
  linkGains(h, gains(1), gains(2), gains(3));

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

  settled = t > duration - window;
  err = abs(angle(settled, :) - target(settled, :));
  summary = struct('frames', fresh, 'shortReads', short, 'meanStateMs', 1000 * mean(cost), ...
                   'maxErrorDeg', max(err, [], 1), 'meanErrorDeg', mean(err, 1));
  names = {'step to 90 deg at 0.5 s', 'sine, 45 deg at 0.5 Hz', 'step to -60 deg at 1.5 s'};
  fprintf('\nClosed-loop position control for %.0f s: program ''balance'', gains %d %d %d,\n', duration, gains);
  fprintf('each status message answered with %.1f%% motor power per degree of error (the gains\n', powerPerDeg);
  fprintf('tune the controller''s own motor loop, this is the position loop around it)\n');
  fprintf('  status messages used     %d (and %d short reads)\n', fresh, short);
  fprintf('  time per linkState call  %.1f ms on average (each waits for the next message)\n', summary.meanStateMs);
  fprintf('Tracking error |target - measured angle| over the last %.0f s, in degrees:\n', window);
  fprintf('  %-6s %-26s %8s %8s\n', 'motor', 'target', 'largest', 'mean');
  for k = 1:3
    fprintf('  %-6d %-26s %8.1f %8.1f\n', k, names{k}, summary.maxErrorDeg(k), summary.meanErrorDeg(k));
  end

  caption = {sprintf('Position control through mexlink: %s on %s', controller, port), ...
             sprintf('program ''balance'', gains %d, %d, %d: the controller''s own motor loop;', gains), ...
             sprintf('around it, MATLAB''s position loop: %.1f%% motor power per degree of error', powerPerDeg), ...
             sprintf('grey: the last %.0f s, over which the errors are measured', window)};
  plotRun(t, angle, target, names, summary.maxErrorDeg, duration, window, caption, fullfile(outdir, 'demo.png'));
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

function plotRun(t, angle, target, names, maxError, duration, window, caption, file)
  % CAPTION: lines above the panels. The last WINDOW seconds are shaded grey.
  fig = png_figure([900 1000]);
  % Panels placed by hand, the same in MATLAB and Octave: room at the top for
  % the caption, one time axis under the last panel (the others share it),
  % and room above each panel's curves for its legend and its error.
  bottoms = [0.615 0.35 0.085];
  for k = 1:3
    ax = axes('Position', [0.12 bottoms(k) 0.83 0.2]);
    low = min([target(:, k); angle(:, k)]);
    high = max([target(:, k); angle(:, k)]);
    span = [low, high] + [-0.1 0.55] * max(high - low, 1);
    patch([duration - window, duration, duration, duration - window], span([1 1 2 2]), ...
          [0.9 0.9 0.9], 'EdgeColor', 'none', 'Parent', ax);
    hold(ax, 'on');
    lines = plot(ax, t, target(:, k), 'k--', t, angle(:, k), 'b-');
    set(lines, 'LineWidth', 1.5);
    hold(ax, 'off');
    set(ax, 'FontSize', 8, 'Layer', 'top');   % after plot, which resets the axes
    xlim(ax, [0 duration]);
    ylim(ax, span);
    title(ax, sprintf('Motor %d: %s', k, names{k}), 'FontSize', 9);
    ylabel(ax, 'angle (deg)', 'FontSize', 8);
    if k == 3
      xlabel(ax, 'time since the program started (s)', 'FontSize', 8);
    else
      set(ax, 'XTickLabel', {});
    end
    grid(ax, 'on');
    legend(lines, {'target', 'measured'}, 'Location', 'northwest', 'Orientation', 'horizontal');
    text(0.99, 0.9, sprintf('largest error (grey): %.1f deg', maxError(k)), ...
         'Parent', ax, 'Units', 'normalized', 'HorizontalAlignment', 'right', 'FontSize', 8);
  end
  % The caption, in an invisible axes over the whole figure.
  axes('Position', [0 0 1 1], 'Visible', 'off');
  for k = 1:numel(caption)   % a line each: gnuplot takes no multi-line text
    text(0.5, 0.995 - 0.027 * k, caption{k}, 'HorizontalAlignment', 'center', 'FontSize', 8);
  end
  png_figure(fig, file);
  fprintf('plot written to %s\n', file);
end
