function replies = sim_send(sim, command)
% SIM_SEND  Gives a control-mode simulator one command ('send 01 02', 'frame',
%   'hangup', 'winsize 24 80 640 480') and waits for its 'ok'. Returns the
%   lines it answered before the 'ok' (a cell array of strings).
  fputs(sim.in, [command "\n"]);
  fflush(sim.in);
  replies = {};
  t0 = tic;
  while toc(t0) < 5
    reply = fgetl(sim.out);
    if ischar(reply)
      if strcmp(reply, 'ok'), return; end
      if strncmp(reply, 'error', 5)
        error('sim_send: simulator answered "%s" to "%s"', reply, command);
      end
      replies{end + 1} = reply;
    else
      fclear(sim.out);
      pause(0.005);
    end
  end
  error('sim_send: no answer to "%s"', command);
end
