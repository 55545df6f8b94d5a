function sim = sim_start(varargin)
% SIM_START  Starts the controller simulator with the given options.
%   sim = sim_start('--period', '20', ...) returns its device (sim.port),
%   log file (sim.log) and process id. With '--control' the simulator takes
%   line commands (see sim_send) through a pipe.
  exe = getenv('LINKSIM');
  if isempty(exe), error('sim_start: LINKSIM is not set'); end
  sim.log = [tempname() '.log'];
  sim.control = any(strcmp(varargin, '--control'));
  if sim.control
    [sim.in, sim.out, sim.pid] = popen2(exe, [{'--log', sim.log}, varargin]);
    sim.port = read_line(sim.out, 5);
  else
    pathfile = [tempname() '.path'];
    args = sprintf(' %s', varargin{:});
    [~, pid] = system(sprintf('%s --log %s%s > %s 2>&1 & echo $!', exe, sim.log, args, pathfile));
    sim.pid = str2double(pid);
    sim.port = '';
    t0 = tic;
    while isempty(sim.port) && toc(t0) < 5
      pause(0.02);
      if exist(pathfile, 'file')
        text = strtrim(fileread(pathfile));
        if ~isempty(text), sim.port = strtok(text, "\n"); end
      end
    end
    unlink(pathfile);
  end
  % The test runner stops whatever a failed test left running.
  registry = getenv('MEXLINK_TEST_PIDS');
  if ~isempty(registry)
    fid = fopen(registry, 'a');
    fprintf(fid, '%d\n', sim.pid);
    fclose(fid);
  end
  if isempty(sim.port) || ~strncmp(sim.port, '/dev/', 5)
    error('sim_start: simulator did not report its device');
  end
end
