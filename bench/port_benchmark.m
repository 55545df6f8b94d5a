function port_benchmark(port, simLog, periodMs)
% PORT_BENCHMARK  Port figures of the mexlink commands, printed as a report.
%   port_benchmark(PORT, SIMLOG, PERIODMS) runs against a controller simulator
%   on PORT that was started with --log-times --period PERIODMS and logs to
%   SIMLOG, with no program running. It prints:
%   - the time of linkAttach and linkDetach;
%   - for read time-outs T = 5, 20 and 100 ms, the return time of a linkPeek
%     read on a quiet line (rule: T + 50*T) and of a read that one status
%     frame ends by the pause after it (rule: T after the frame's last byte,
%     taken from the simulator's wall-clock stamp of that frame);
%   - the CPU time Octave spent during those reads, as a share of their wall
%     time.
  more off;
  baud = 115200;
  period = periodMs / 1000;

  printf('\n== Port benchmark ==\n');
  printf('port %s, simulator frame period %d ms while a program runs\n', port, periodMs);

  % --- attach / detach -------------------------------------------------
  rounds = 50;
  evalc('attach_rounds(port, baud, 3);');   % loads the plug-ins, warms the path
  evalc('[ta, td] = attach_rounds(port, baud, rounds);');
  printf('\nlinkAttach + linkDetach, %d rounds (T = 5 ms, idle line)\n', rounds);
  printf('  %-26s %9s %9s %9s %5s\n', 'call', 'median', 'p90', 'min', 'n');
  print_row('linkAttach (ms)', summarize(ta));
  print_row('linkDetach (ms)', summarize(td));
  print_row('attach + detach (ms)', summarize(ta + td));

  % --- reads -----------------------------------------------------------
  timeouts = [5 20 100];
  quietCount = [20 10 5];     % each costs 51*T
  gapCount = [20 20 15];      % each costs one frame period
  quiet = cell(1, 3);
  gap = cell(1, 3);
  for i = 1:numel(timeouts)
    T = timeouts(i);
    if period <= T / 1000 || period >= 51 * T / 1000
      error('port_benchmark: the frame period must lie between T and 51*T for T = %d ms', T);
    end
    evalc('h = linkAttach(port, baud, 8, 0, T);');
    cleanup = onCleanup(@() detach_quietly(h));

    % Quiet line: no program runs, so nothing arrives.
    quiet{i} = timed_peeks(h, quietCount(i));
    quiet{i}.rule = 51 * T / 1000;

    % Gap-ended: one frame per period; each read starts right after the
    % previous one returned (T after a frame), so it waits for the next frame,
    % takes its 23 bytes and ends once the line has been quiet for T.
    linkRun(h, 'drive');
    timed_peeks(h, 1);
    g = timed_peeks(h, gapCount(i));
    linkHalt(h);
    pause(0.05);
    clear cleanup;
    gap{i} = match_frames(g, simLog);
    gap{i}.rule = T / 1000;
  end

  % Reference: Octave's own pause over the wait of the T = 5 ms quiet read,
  % to tell the interpreter's cost of waking up from the read's.
  pauses = time_pauses(0.255, 20);

  printf('\nlinkPeek on a quiet line (nothing arrives): return time against the rule T + 50*T\n');
  printf('  %-9s %9s %9s %9s %9s %12s %5s %12s %12s\n', 'T (ms)', 'rule', 'median', 'p90', 'min', ...
         'median-rule', 'n', 'CPU of wall', 'CPU per call');
  for i = 1:numel(timeouts)
    q = quiet{i};
    s = summarize(q.wall);
    printf('  %-9d %9s %9s %9s %9s %12s %5d %11.2f%% %9.0f us\n', timeouts(i), fmt_ms(q.rule), ...
           fmt_ms(s.median), fmt_ms(s.p90), fmt_ms(s.min), signed_ms(s.median - q.rule), s.n, ...
           cpu_share(q), 1e6 * median(q.cpu));
    if any(q.bytes ~= 0)
      printf('  (T = %d ms: %d of %d quiet reads received bytes)\n', timeouts(i), nnz(q.bytes), numel(q.bytes));
    end
  end

  s = summarize(pauses.wall);
  printf('  %-9s %9s %9s %9s %9s %12s %5d %11.2f%% %9.0f us\n', 'pause()', fmt_ms(0.255), ...
         fmt_ms(s.median), fmt_ms(s.p90), fmt_ms(s.min), signed_ms(s.median - 0.255), s.n, ...
         cpu_share(pauses), 1e6 * median(pauses.cpu));
  printf('  pause(): Octave''s own sleep of 255 ms, for reference (no port involved).\n');

  printf('\nlinkPeek ended by a pause: one 23-byte frame arrives, then the line is quiet.\n');
  printf('Time from the frame reaching the line (simulator stamp) to the return, against the rule T\n');
  printf('  %-9s %9s %9s %9s %9s %12s %5s %12s %12s %12s\n', 'T (ms)', 'rule', 'median', 'p90', 'min', ...
         'median-rule', 'n', 'CPU of wall', 'CPU per call', 'frame after');
  for i = 1:numel(timeouts)
    g = gap{i};
    s = summarize(g.latency);
    a = summarize(g.arrival);
    printf('  %-9d %9s %9s %9s %9s %12s %5d %11.2f%% %9.0f us %9s ms\n', timeouts(i), fmt_ms(g.rule), ...
           fmt_ms(s.median), fmt_ms(s.p90), fmt_ms(s.min), signed_ms(s.median - g.rule), s.n, ...
           cpu_share(g), 1e6 * median(g.cpu), fmt_ms(a.median));
    if g.unmatched > 0
      printf('  (T = %d ms: %d reads left out: not exactly one frame of 23 bytes during the call)\n', ...
             timeouts(i), g.unmatched);
    end
  end
  printf('  "frame after": median time from the call to the frame reaching the line.\n');
  printf('  "CPU of wall": Octave''s cputime over the wall time of the reads, all samples together;\n');
  printf('  "CPU per call": median cputime of one call.\n');
  printf('\nGoals: median within 2 ms of the rule; CPU under 1%% of the wall time while waiting.\n');
end

function [ta, td] = attach_rounds(port, baud, rounds)
  ta = zeros(rounds, 1);
  td = zeros(rounds, 1);
  for k = 1:rounds
    id = tic;
    h = linkAttach(port, baud, 8, 0, 5);
    ta(k) = toc(id);
    id = tic;
    linkDetach(h);
    td(k) = toc(id);
  end
end

% Times n linkPeek calls back to back. The byte counts come from the
% "NumReadBytes" lines the command prints, captured outside the timed part.
function r = timed_peeks(h, n)
  text = evalc('r = peek_loop(h, n);');
  counts = regexp(text, 'NumReadBytes: (\d+)', 'tokens');
  r.bytes = cellfun(@(c) str2double(c{1}), counts(:));
end

function r = time_pauses(seconds, n)
  r.cpu = zeros(n, 1);
  r.wall = zeros(n, 1);
  for k = 1:n
    c0 = cputime();
    t0 = time();
    pause(seconds);
    t1 = time();
    r.cpu(k) = cputime() - c0;
    r.wall(k) = t1 - t0;
  end
end

function r = peek_loop(h, n)
  r.start = zeros(n, 1);
  r.stop = zeros(n, 1);
  r.cpu = zeros(n, 1);
  for k = 1:n
    c0 = cputime();
    t0 = time();
    linkPeek(h);
    t1 = time();
    c1 = cputime();
    r.start(k) = t0;
    r.stop(k) = t1;
    r.cpu(k) = c1 - c0;
  end
  r.wall = r.stop - r.start;
end

% Pairs each gap-ended read with the one frame the simulator stamped during
% the call. Reads with no frame, or more than one, are left out.
function g = match_frames(r, simLog)
  [~, tf] = frame_times(simLog);
  n = numel(r.start);
  g = r;
  g.latency = NaN(n, 1);
  g.arrival = NaN(n, 1);
  for k = 1:n
    inside = tf(tf > r.start(k) & tf <= r.stop(k));
    if numel(inside) == 1 && r.bytes(k) == 23
      g.latency(k) = r.stop(k) - inside;
      g.arrival(k) = inside - r.start(k);
    end
  end
  g.unmatched = nnz(isnan(g.latency));
end

function p = cpu_share(r)
  p = 100 * sum(r.cpu) / sum(r.wall);
end

function print_row(name, s)
  printf('  %-26s %9.3f %9.3f %9.3f %5d\n', name, 1000 * s.median, 1000 * s.p90, 1000 * s.min, s.n);
end

function s = signed_ms(seconds)
  s = sprintf('%+.2f', 1000 * seconds);
end
