function lines = sim_log_count(sim, pattern, count, timeout)
% SIM_LOG_COUNT  The simulator's log lines matching PATTERN, once there are
%   COUNT of them or TIMEOUT seconds (default 5) have passed.
  if nargin < 4, timeout = 5; end
  t0 = tic;
  while true
    lines = sim_log(sim, pattern, 0);
    if numel(lines) >= count || toc(t0) > timeout
      return;
    end
    pause(0.02);
  end
end
