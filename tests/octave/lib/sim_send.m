function sim_send(sim, command)
% SIM_SEND  Gives a control-mode simulator one command ('send 01 02', 'frame',
%   'hangup') and waits for its 'ok'.
  fputs(sim.in, [command "\n"]);
  fflush(sim.in);
  t0 = tic;
  while toc(t0) < 5
    reply = fgetl(sim.out);
    if ischar(reply)
      if strcmp(reply, 'ok'), return; end
      error('sim_send: simulator answered "%s" to "%s"', reply, command);
    end
    fclear(sim.out);
    pause(0.005);
  end
  error('sim_send: no answer to "%s"', command);
end
