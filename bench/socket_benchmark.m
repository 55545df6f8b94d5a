function socket_benchmark(port, simLog, socketName, socketLog, periodMs)
% SOCKET_BENCHMARK  The mexlink commands over socket://HOST:PORT against a
% pseudo-terminal.
%   socket_benchmark(PORT, SIMLOG, SOCKETNAME, SOCKETLOG, PERIODMS) takes two
%   controller simulators started with --log-times --period PERIODMS and no
%   program running, one on the pseudo-terminal PORT (log SIMLOG), one on TCP
%   at SOCKETNAME (log SOCKETLOG). It prints:
%   - the per-call time of linkSend(h, 0, 0, 0) against the floor,
%     floor_write(h, 0, 0, 0), on the same socket (and on the pty, for
%     reference);
%   - linkState's frame age at its return (the simulator's wall-clock stamp
%     of the frame to the return) over TCP and over the pty, for T = 5, 20 ms.
  more off;
  baud = 115200;
  printf('\n== Socket benchmark ==\n');
  printf('pty %s, socket %s, frame period %d ms while a program runs\n', port, socketName, periodMs);

  names = {socketName, port};
  labels = {'socket', 'pty'};
  logs = {socketLog, simLog};
  samples = 400;
  batch = 10;
  printf('\nPer-call time in microseconds (%d calls each in batches of %d, taking turns)\n', samples * batch, batch);
  printf('  %-34s %9s %9s %9s %6s\n', 'call', 'median', 'p90', 'min', 'n');
  for i = 1:2
    evalc('h = linkAttach(names{i}, baud, 8, 0, 5);');
    hCleanup = onCleanup(@() detach_quietly(h));
    time_sends(h, 2, batch);
    [sendMex, sendFloor] = time_sends(h, samples, batch);
    a = print_call(sprintf('linkSend(h, 0, 0, 0), %s', labels{i}), sendMex);
    f = print_call(sprintf('floor_write(h, 0, 0, 0), %s', labels{i}), sendFloor);
    goal = {'   (goal: at most 1.30 of the minima)', ''};
    printf('  %-34s %9.2f %9s %9.2f%s\n', sprintf('ratio linkSend / floor, %s', labels{i}), a.median / f.median, ...
           '', a.min / f.min, goal{i});
    clear hCleanup;
  end
  pause(0.2);   % let the simulators log the last telegrams
  expected = 2 * (2 + samples) * batch;
  printf('  mailbox telegrams logged (expected %d each): socket %d, pty %d\n', expected, ...
         count_log_lines(socketLog, '^mailbox 1: 100 100 100$'), count_log_lines(simLog, '^mailbox 1: 100 100 100$'));

  % Each call starts right after the previous one returned, so it finds the
  % line empty, waits for the next frame and returns once the line has been
  % quiet for T after it: the floor of the frame's age is T.
  timeouts = [5 20];
  stateCalls = 100;
  printf('\nlinkState frame age at return: end of the frame on the line (simulator stamp) to the return, in ms\n');
  printf('  %-26s %7s %8s %8s %8s %13s %5s %11s\n', 'line', 'floor', 'median', 'p90', 'min', 'median-floor', ...
         'n', 'next frame');
  ages = cell(2, numel(timeouts));
  for j = 1:numel(timeouts)
    T = timeouts(j);
    for i = 1:2
      evalc('h = linkAttach(names{i}, baud, 8, 0, T);');
      hCleanup = onCleanup(@() detach_quietly(h));
      linkRun(h, 'drive');
      linkState(h);
      r = time_reads(@() state_seq(h), stateCalls);
      linkHalt(h);
      clear hCleanup;
      pause(0.1);
      [seqs, stamps] = frame_times(logs{i});
      x = summarize(latencies(r, seqs, stamps));
      ages{i, j} = x;
      printf('  %-26s %7s %8s %8s %8s %13s %5d %6d of %-3d\n', sprintf('%s, T = %d ms', labels{i}, T), ...
             fmt_ms(T / 1000), fmt_ms(x.median), fmt_ms(x.p90), fmt_ms(x.min), ...
             sprintf('%+.2f', 1000 * x.median - T), x.n, nnz(diff(r.seq) == 1), stateCalls - 1);
    end
    printf('  %-26s %7s %8.2f %8.2f %8.2f\n', sprintf('ratio socket / pty, T = %d', T), '', ...
           ages{1, j}.median / ages{2, j}.median, ages{1, j}.p90 / ages{2, j}.p90, ages{1, j}.min / ages{2, j}.min);
  end
  printf('\nGoals: linkSend over the socket at most 1.3 times the floor (minimum times); linkState''s frame age over TCP\nas over the pty (within 2 ms of T).\n');
end
