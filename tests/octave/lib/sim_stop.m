function sim_stop(sim, varargin)
% SIM_STOP  Stops a simulator started by sim_start (one that ended already
%   is left as it is) and removes its folder. sim_stop(sim, h, ...) first
%   detaches the handles (a test file's fixture attached them to its port).
  for k = 1:numel(varargin)
    detach_quietly(varargin{k});
  end
  [status, out] = simulator_script('stop', sim.dir);
  confirm_recursive_rmdir(false, 'local');
  rmdir(sim.dir, 's');
  if status == 124
    error('sim_stop: %s', out);
  end
end
