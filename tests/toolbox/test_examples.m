% The examples, each run by scripts/run_example.sh against the simulated
% controller, on a pseudo-terminal and on TCP (a socket://HOST:PORT name, as
% on Windows with the archive's simulator): they print what the controller
% sent and what it did.
%!shared source, plugins, lines
%! source = getenv('MEXLINK_SOURCE_DIR');
%! plugins = getenv('MEXLINK_PLUGIN_DIR');
%! lines = {{}, {'--listen', '0'}};

%!function [status, out] = run_example(source, plugins, port, name)
%!  [status, out] = system(sprintf('MEXLINK_PORT=%s MEXLINK_PLUGIN_DIR=%s bash %s/scripts/run_example.sh %s 2>&1', ...
%!                                 port, plugins, source, name));
%!endfunction

%!function table = table_rows(out, columns)
%!  % The lines of OUT that hold COLUMNS numbers and nothing else.
%!  table = zeros(0, columns);
%!  for line = strsplit(out, "\n")
%!    [v, n, msg] = sscanf(line{1}, '%f');
%!    if n == columns && isempty(msg)
%!      table(end + 1, :) = v.';
%!    end
%!  end
%!endfunction

%!function lines = log_after_stops(sim, stops, pattern)
%!  % The log lines matching PATTERN once the controller has logged STOPS stops.
%!  t0 = tic;
%!  while numel(sim_log(sim, '^stop$')) < stops && toc(t0) < 5
%!    pause(0.05);
%!  end
%!  lines = sim_log(sim, pattern);
%!endfunction

%!test
%! % read_sensors: ten rows, each a status message exactly as the controller
%! % logged it (angles in degrees), the motors driven forward.
%! for line = lines
%!   sim = sim_start(line{1}{:});
%!   stop = onCleanup(@() sim_stop(sim));
%!   [status, out] = run_example(source, plugins, sim.port, 'read_sensors');
%!   assert(status, 0, out);
%!   assert(~isempty(regexp(out, 'sensor1\s+sensor2\s+sensor3\s+sensor4\s+motor1\s+motor2\s+motor3', 'once')), out);
%!   table = table_rows(out, 7);
%!   assert(rows(table), 10);
%!   assert(all(diff(table(:, 1)) > 0));   % a newer message each time
%!   for k = 1:rows(table)
%!     logged = sim_log(sim, sprintf('^frame %d ', table(k, 1)));
%!     assert(numel(logged), 1);
%!     v = sscanf(logged{1}(7:end), '%d').';
%!     assert(table(k, :), v(2:8), 0.05);
%!   end
%!   assert(table(end, 5) > table(1, 5) && table(end, 6) > table(1, 6));
%!   assert(log_after_stops(sim, 1, '^(start|setpoints|stop)'), ...
%!          {'start "drive"', 'setpoints 29 29 0', 'setpoints 0 0 0', 'stop'});
%!   assert(~isempty(strfind(out, 'closeSerial: Successful!')));
%! end

%!test
%! % gain_sweep: one row per gain, each run given its gains and the step;
%! % with the highest gain the motor comes up to speed far sooner.
%! for line = lines
%!   sim = sim_start(line{1}{:});
%!   stop = onCleanup(@() sim_stop(sim));
%!   [status, out] = run_example(source, plugins, sim.port, 'gain_sweep');
%!   assert(status, 0, out);
%!   table = table_rows(out, 6);
%!   gains = [10 20 40 80 160 255];
%!   assert(table(:, 1).', gains);
%!   expected = {};
%!   for g = gains
%!     expected = [expected, {'start "balance"', sprintf('gains %d 0 0', g), 'setpoints 50 0 0', ...
%!                            'setpoints 0 0 0', 'stop'}];
%!   end
%!   assert(log_after_stops(sim, numel(gains), '^(start|gains|setpoints|stop)'), expected);
%!   % Angles grow with time in every row; at 0.2 s the stiffest run is well ahead.
%!   assert(all(all(diff(table(:, 2:5), 1, 2) > 0)));
%!   assert(table(end, 3) > 2 * table(1, 3));
%!   % The simulated motors run at 10 deg/s per setpoint unit: 500 deg/s here.
%!   assert(all(abs(table(3:end, 6) - 500) < 100));
%! end

%!test
%! % mexlink_demo: the summary, not the struct it returns: the steps are
%! % reached and the sine followed within its lag in the last second; and
%! % the figure in demo-output/ of the current folder, 900 x 1000 pixels.
%! for line = lines
%!   sim = sim_start(line{1}{:});
%!   stop = onCleanup(@() sim_stop(sim));
%!   png = fullfile(pwd, 'demo-output', 'demo.png');
%!   if exist(png, 'file'), delete(png); end
%!   [status, out] = run_example(source, plugins, sim.port, 'mexlink_demo');
%!   assert(status, 0, out);
%!   used = regexp(out, 'status messages used +(\d+) \(and \d+ short reads\)', 'tokens', 'once');
%!   assert(str2double(used{1}) > 40, out);
%!   assert(~isempty(strfind(out, 'Tracking error |target - measured angle| over the last 1 s, in degrees:')), out);
%!   errors = regexp(out, '(?m)^  ([123]) +(?:step|sine)[^\n]*? +([\d.]+) +([\d.]+)$', 'tokens');
%!   errors = str2double(reshape([errors{:}], 3, []).');
%!   assert(errors(:, 1), [1; 2; 3], out);
%!   assert(errors([1 3], 2) <= 3 & errors(2, 2) > 5 & errors(2, 2) < 25, out);
%!   assert(all(errors(:, 3) <= errors(:, 2)), out);
%!   assert(isempty(strfind(out, 'meanStateMs')), out);
%!   assert(~isempty(strfind(out, ['plot written to ' png])), out);
%!   info = imfinfo(png);
%!   assert([info.Width, info.Height], [900, 1000]);
%! end

%!test
%! % An unknown example: the usage line and status 2.
%! [status, out] = run_example(source, plugins, '/dev/null', 'no_such_example');
%! assert(status, 2);
%! assert(~isempty(strfind(out, 'read_sensors')), out);
