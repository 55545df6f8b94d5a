function c = state_calls(h, n, workMs)
% STATE_CALLS  N linkState calls on handle H, each after "work": a random
%   pause of 0 to WORKMS ms (none for 0). Returns each call's values (7xN),
%   isShort, whether it raised an error (failed), and when it started and
%   returned (start, stop: time(), the clock of the simulator's t= stamps).
  c.values = zeros(7, n);
  c.isShort = zeros(1, n);
  c.failed = false(1, n);
  c.start = zeros(1, n);
  c.stop = zeros(1, n);
  for k = 1:n
    if workMs > 0
      pause(workMs / 1000 * rand());
    end
    c.start(k) = time();
    try
      [v, s] = linkState(h);
      c.values(:, k) = v;
      c.isShort(k) = s;
    catch
      c.failed(k) = true;
    end
    c.stop(k) = time();
  end
end
