function session_check(plugin_dir)
% SESSION_CHECK  A short session against a fresh simulator with the commands
%   found in PLUGIN_DIR: attach, run, send, state, halt, detach. Checks what
%   the commands return and print, and what reached the controller.
  names = command_names();
  for k = 1:numel(names)
    assert(which(names{k}), fullfile(plugin_dir, [names{k} '.mex']));
  end
  sim = sim_start('--period', '20');
  stop = onCleanup(@() sim_stop(sim));

  printed = evalc('h = linkAttach(sim.port, 115200, 8, 0, 5);');
  assert(class(h), 'uint32');
  assert(size(h), [1 1]);
  assert(~isempty(regexp(printed, '^\*hSerial: \d+\nopenSerial: Successful!\n$', 'once')), printed);
  linkRun(h, 'drive');
  linkSend(h, 10, -10, 3);
  pause(0.2);
  % The first read drains what piled up; a later one returns a whole message.
  for attempt = 1:20
    [values, isShort] = linkState(h);
    if ~isShort, break; end
  end
  assert(class(values), 'double');
  assert(size(values), [7 1]);
  assert(isShort, int8(0));
  assert(values, logged_status(sim, values(1)), 1e-9);
  assert(values(5) > 0 && values(6) < 0 && values(7) > 0);
  linkHalt(h);
  assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));

  assert(numel(sim_log(sim, '^stop$')) == 1);
  events = sim_log(sim, '^(start|setpoints|stop)');
  assert(events, {'start "drive"', 'setpoints 58 -58 17', 'stop'});
end
