function sim = sim_start(varargin)
% SIM_START  Starts the controller simulator (scripts/simulator.sh) with the
%   given options: sim = sim_start('--period', '20', ...) returns its port
%   (sim.port), log file (sim.log), process id (sim.pid) and folder (sim.dir).
%   It takes control commands (sim_send) until sim_stop.
  % Under the test runners the folder goes where they clean up, with or without sim_stop.
  base = getenv('MEXLINK_TEST_SIMULATORS');
  if isempty(base), base = tempdir(); end
  sim.dir = tempname(base, 'linksim-');
  sim.log = fullfile(sim.dir, 'log');
  [status, out] = simulator_script('start', sim.dir, varargin{:});
  parts = strsplit(strtrim(out));
  if status ~= 0 || numel(parts) ~= 2
    error('sim_start: the simulator did not start: %s', out);
  end
  sim.port = parts{1};
  sim.pid = str2double(parts{2});
end
