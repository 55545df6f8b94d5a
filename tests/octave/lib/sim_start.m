function sim = sim_start(varargin)
% SIM_START  Starts the controller simulator, in a session of its own, with
%   the given options. sim = sim_start('--period', '20', ...) returns its
%   device (sim.port), log file (sim.log) and process id (sim.pid). With
%   '--control' the simulator takes line commands (see sim_send) through
%   pipes it shares with this process.
  exe = getenv('LINKSIM');
  if isempty(exe), error('sim_start: LINKSIM is not set'); end
  % Under the test runners the log goes where they clean up, with or without sim_stop.
  registry = getenv('MEXLINK_TEST_PIDS');
  if isempty(registry)
    sim.log = [tempname() '.log'];
  else
    sim.log = [tempname(fileparts(registry)) '.log'];
  end
  sim.control = any(strcmp(varargin, '--control'));
  args = [{'--background', '--log', sim.log}, varargin];
  if sim.control
    [sim.in, sim.out, starter] = popen2(exe, args);
    ready = read_line(sim.out, 5);
    waitpid(starter);
  else
    [~, ready] = system(strjoin([{exe}, args], ' '));
  end
  parts = strsplit(strtrim(ready));
  if numel(parts) ~= 2 || ~strncmp(parts{1}, '/dev/', 5)
    error('sim_start: the simulator did not start: %s', ready);
  end
  sim.port = parts{1};
  sim.pid = str2double(parts{2});
  % The test runner stops whatever a test left running.
  if ~isempty(registry)
    fid = fopen(registry, 'a');
    fprintf(fid, '%d\n', sim.pid);
    fclose(fid);
  end
end
