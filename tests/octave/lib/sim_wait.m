function status = sim_wait(sim)
% SIM_WAIT  Waits until a simulator started by sim_start has ended by itself
%   (5 s at most) and returns its exit status.
  [status, out] = simulator_script('wait', sim.dir);
  if status == 124
    error('sim_wait: %s', out);
  end
end
