function link_benchmark(preset, cells, calls, seed)
% LINK_BENCHMARK  The read rule of linkState on one link, printed as a table.
%   link_benchmark(PRESET, CELLS, CALLS, SEED) starts the simulator with
%   --link PRESET --seed SEED for each frame period P of CELLS (a row
%   {P, [T...]} each, in ms), and for each read time-out T of the row makes
%   CALLS linkState calls back to back, then CALLS with "work" (a random
%   0-100 ms pause) before each. Every frame holds the simulator's sequence
%   number, so each call is judged against the simulator's log:
%     right  the newest frame whose last byte had gone out when it returned,
%            with the values the simulator sent for it
%     stale  an older frame, with the right values
%     short  isShort = 1
%     wrong  isShort = 0 and values that are no frame the simulator sent
%            (a frame cut by the read)
%     error  linkState raised an error (the line never paused)
%   with the age of the frame at return (from when the controller sent it to
%   the return, the link's latency included; right and stale calls) and the
%   call's time, median and 95th percentile (nearest rank), in ms.
  more off;
  rand('seed', seed);
  printf('\n== Read rule on the %s link ==\n', preset);
  printf(['linksim --link %s --seed %d --log-times --period P; linkAttach(port, 115200, 8, 0, T); ' ...
          'linkRun drive; %d calls a row after one to drain\n'], preset, seed, calls);
  for row = 1:size(cells, 1)
    P = cells{row, 1};
    sim = sim_start('--link', preset, '--seed', sprintf('%d', seed), '--log-times', '--period', sprintf('%d', P));
    stop = onCleanup(@() sim_stop(sim));
    if row == 1
      link = sim_log(sim, '^link ');
      printf('%s\n', link{1});
      printf('  %-9s %5s %4s %-5s %6s %6s %6s %6s %6s %6s %8s %8s %8s %8s\n', 'link', 'P ms', 'T ms', 'work', ...
             'calls', 'right', 'stale', 'short', 'wrong', 'error', 'age med', 'age p95', 'call med', 'call p95');
    end
    runs = {};
    for T = cells{row, 2}
      evalc('h = linkAttach(sim.port, 115200, 8, 0, T);');
      if isempty(runs)
        linkRun(h, 'drive');
        pause(0.3);   % the packet link's latency: the first frames arrive
      end
      for work = [false true]
        try
          linkState(h);
        catch
        end
        runs{end + 1} = struct('T', T, 'work', work, 'calls', state_calls(h, calls, 100 * work));
      end
      detach_quietly(h);
    end
    pause(0.5);   % the last frames go out, and are logged
    for k = 1:numel(runs)
      print_row(preset, P, runs{k}, sim.log);
    end
    clear stop;
  end
  printf(['  right: the newest frame whole at return; stale: an older one; wrong: isShort = 0 with values ' ...
          'no frame had; age: from the controller''s send to the return.\n']);
end

function print_row(preset, P, run, logFile)
  [verdict, age] = judge_state_calls(run.calls, logFile);
  c = run.calls;
  works = {'none', '0-100'};
  count = @(what) nnz(strcmp(verdict, what));
  a = sort(1000 * age(isfinite(age)));
  d = sort(1000 * (c.stop - c.start));
  printf('  %-9s %5d %4d %-5s %6d %6d %6d %6d %6d %6d %8s %8s %8.1f %8.1f\n', preset, P, run.T, ...
         works{run.work + 1}, numel(verdict), count('right'), count('stale'), count('short'), count('wrong'), ...
         count('error'), ms_text(median_of(a)), ms_text(p95_of(a)), median_of(d), p95_of(d));
end

function m = median_of(x)
  if isempty(x), m = NaN; else, m = median(x); end
end

function p = p95_of(x)
  if isempty(x), p = NaN; else, p = x(max(1, ceil(0.95 * numel(x)))); end
end

function s = ms_text(x)
  if isnan(x), s = '-'; else, s = sprintf('%.1f', x); end
end
