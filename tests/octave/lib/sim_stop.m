function sim_stop(sim, varargin)
% SIM_STOP  Stops a simulator started by sim_start, waits until it is gone
%   (5 s at most) and removes its log. sim_stop(sim, h, ...) first detaches
%   the handles (a test file's fixture attached them to its port).
  for k = 1:numel(varargin)
    detach_quietly(varargin{k});
  end
  if sim.control
    fclose(sim.in);
    fclose(sim.out);
  end
  % A stopped simulator (a test's stalled line) must run to see the signal.
  kill(sim.pid, 18);
  kill(sim.pid, 15);
  wait_gone(sim.pid);
  if exist(sim.log, 'file'), unlink(sim.log); end
end
