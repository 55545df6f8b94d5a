function wait_gone(pid)
% WAIT_GONE  Waits until process PID has ended (5 s at most). The simulator
%   runs in a session of its own, no child of this process: waitpid cannot
%   tell, and once ended it stays a zombie until the system reaps it.
  t0 = tic;
  while ~ended(pid) && toc(t0) < 5
    pause(0.01);
  end
  assert(ended(pid), 'the simulator is still running');
end

function yes = ended(pid)
  yes = kill(pid, 0) ~= 0;
  if ~yes
    try
      stat = fileread(sprintf('/proc/%d/stat', pid));
      yes = stat(find(stat == ')', 1, 'last') + 2) == 'Z';
    catch
      yes = true;   % gone between the two looks
    end
  end
end
