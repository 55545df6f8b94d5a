% Faults on the line: a controller that hangs up mid-stream, sends garbage,
% never pauses, stays silent, or disappears. Every call ends within its
% bound with one of the commands' messages, and detaching still closes.

%!function assert_line_gone(h, readMessage, writeMessage)
%!  % Every command that touches the port raises its message, promptly.
%!  t0 = tic;
%!  assert_error_ends(@() linkState(h), readMessage, 'mexlink:readFailed');
%!  assert_error_ends(@() linkPeek(h), readMessage, 'mexlink:readFailed');
%!  assert_error_ends(@() linkSend(h, 1, 2, 3), writeMessage, 'mexlink:writeFailed');
%!  assert_error_ends(@() linkGains(h, 1, 2, 3), writeMessage, 'mexlink:writeFailed');
%!  assert_error_ends(@() linkRun(h, 'drive'), writeMessage, 'mexlink:writeFailed');
%!  assert_error_ends(@() linkHalt(h), writeMessage, 'mexlink:writeFailed');
%!  assert(toc(t0) < 5);
%!endfunction

%!function lines = wait_log_count(sim, pattern, count)
%!  % Log lines matching PATTERN once there are COUNT of them (or after 3 s).
%!  t0 = tic;
%!  do
%!    lines = sim_log(sim, pattern, 0);
%!    if numel(lines) >= count, break; end
%!    pause(0.02);
%!  until toc(t0) > 3
%!endfunction

%!function bursts = garbage_bursts(sim)
%!  % Every garbage burst the simulator sent, one row of bytes each.
%!  lines = sim_log(sim, '^garbage ', 0);
%!  bursts = zeros(numel(lines), 23);
%!  for k = 1:numel(lines)
%!    bursts(k, :) = sscanf(lines{k}(9:end), '%x').';
%!  end
%!endfunction

%!test
%! % The controller hangs up after its fifth frame. A read in progress then
%! % ends at the hang-up, not at its time-out (T = 5000: 5 s after a byte).
%! sim = sim_start('--hangup-after', '5', '--period', '20');
%! before = open_descriptors();
%! h = attach_quietly(sim.port, 5000);
%! linkRun(h, 'drive');
%! t0 = tic;
%! reads = 0;
%! msg = '';
%! while isempty(msg) && toc(t0) < 20
%!   try
%!     evalc('linkPeek(h);');
%!     reads += 1;
%!   catch err
%!     msg = err.message;
%!   end
%! end
%! assert(toc(t0) < 3);
%! assert(reads >= 1);
%! assert(regexp(msg, 'Error: could not read from serial port$', 'once') > 0);
%! assert(numel(sim_log(sim, '^frame ')), 5);
%! assert(numel(sim_log(sim, '^hangup$')), 1);
%! assert_line_gone(h, 'Error: could not read from serial port', 'Error: could not write to serial port');
%! assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));
%! assert(open_descriptors(), before);
%! sim_stop(sim);

%!test
%! % Hang-up found by linkState with frames still unread, at a short T.
%! sim = sim_start('--hangup-after', '3', '--period', '10');
%! h = attach_quietly(sim.port, 1);
%! linkRun(h, 'drive');
%! assert(numel(sim_log(sim, '^hangup$', 3)), 1);
%! assert_line_gone(h, 'Error: could not read from serial port', 'Error: could not write to serial port');
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % Garbage instead of frames: linkState decodes the newest burst or sets
%! % the short flag; linkPeek returns a burst's last seven bytes.
%! sim = sim_start('--fault', 'garbage', '--period', '20');
%! h = attach_quietly(sim.port, 5);
%! linkRun(h, 'drive');
%! pause(0.1);
%! full = 0;
%! for k = 1:12
%!   [values, isShort] = linkState(h);
%!   assert(class(values), 'double');
%!   assert(size(values), [7 1]);
%!   assert(class(isShort), 'int8');
%!   assert(any(isShort == [0 1]));
%!   if isShort
%!     assert(values, zeros(7, 1));
%!   else
%!     % Only the last 20 bytes of a whole burst, wherever the reads split them.
%!     bursts = garbage_bursts(sim);
%!     matches = arrayfun(@(r) max(abs(status_values(bursts(r, :)) - values)) < 1e-9, 1:rows(bursts));
%!     assert(any(matches));
%!     full += 1;
%!   end
%!   pause(0.03);
%! end
%! assert(full > 0);
%! tails = 0;
%! for k = 1:8
%!   text = evalc('bytes = linkPeek(h);');
%!   n = sscanf(text, 'NumReadBytes: %d');
%!   assert(class(bytes), 'uint8');
%!   assert(size(bytes), [7 1]);
%!   if n >= 7 && n < 50
%!     bursts = garbage_bursts(sim);
%!     assert(ismember(double(bytes.'), bursts(:, end - 6:end), 'rows'));
%!     tails += 1;
%!   end
%!   pause(0.03);
%! end
%! assert(tails > 0);
%! linkHalt(h);
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % A stream that never pauses: linkState gives up after the 2 s drain bound
%! % plus at most one read (T + 50*T), with or without time-outs. linkPeek
%! % still takes one read's worth at once, and the port recovers on halt.
%! sim = sim_start('--fault', 'stream');
%! for T = [0 40]
%!   h = attach_quietly(sim.port, T);
%!   linkRun(h, 'drive');
%!   pause(0.1);
%!   t0 = tic;
%!   assert_error_ends(@() linkState(h), 'Error: the serial line never paused');
%!   elapsed = toc(t0);
%!   assert(elapsed >= 1.9 && elapsed < 2 + 0.051 * T + 2);
%!   t0 = tic;
%!   assert(evalc('bytes = linkPeek(h);'), sprintf('NumReadBytes: 50\n'));
%!   assert(toc(t0) < 1);
%!   linkHalt(h);
%!   if T > 0
%!     % The backlog drains, then the line is quiet: an ordinary answer.
%!     pause(0.1);
%!     t0 = tic;
%!     [values, isShort] = linkState(h);
%!     assert(toc(t0) < 2 + 0.051 * T + 2);
%!     assert(size(values), [7 1]);
%!   end
%!   detach_quietly(h);
%! end
%! sim_stop(sim);

%!test
%! % A controller that stops reading: once the line's buffers are full, a
%! % write fails after its time-out (2 s and some) instead of waiting for ever.
%! sim = sim_start();
%! h = attach_quietly(sim.port, 5);
%! kill(sim.pid, 19);
%! t0 = tic;
%! writes = 0;
%! failure = [];
%! while isempty(failure) && toc(t0) < 30
%!   try
%!     linkSend(h, 1, 1, 1);
%!     writes += 1;
%!   catch failure
%!   end
%! end
%! assert(toc(t0) < 15);
%! assert(writes > 0);
%! assert_error_ends(@() rethrow(failure), 'Error: could not write to serial port', 'mexlink:writeFailed');
%! kill(sim.pid, 18);
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % Total silence with T = 0: writes still go out at once; linkState, whose
%! % read would otherwise never end, stops at the drain bound.
%! sim = sim_start('--fault', 'silence');
%! h = attach_quietly(sim.port, 0);
%! t0 = tic;
%! linkRun(h, 'drive');
%! for k = 1:20
%!   linkSend(h, k / 10, -k / 10, 0);
%! end
%! linkGains(h, 1, 2, 3);
%! linkHalt(h);
%! assert(toc(t0) < 2);
%! assert(numel(wait_log_count(sim, '^mailbox 1: ', 21)), 21);
%! assert(numel(wait_log_count(sim, '^stop$', 1)), 1);
%! assert(isempty(sim_log(sim, '^(frame|bad telegram)', 0)));
%! t0 = tic;
%! assert_error_ends(@() linkState(h), 'Error: the serial line never paused');
%! elapsed = toc(t0);
%! assert(elapsed >= 1.9 && elapsed < 5);
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % The device disappears between calls, killed or exiting after its own
%! % hang-up: reads and writes raise, detach closes, nothing is left open,
%! % and attaching to the vanished device again says why it fails.
%! for how = {'killed', 'exits'}
%!   if strcmp(how{1}, 'killed')
%!     sim = sim_start('--period', '20');
%!   else
%!     sim = sim_start('--period', '20', '--hangup-after', '4', '--exit-on-hangup');
%!   end
%!   before = open_descriptors();
%!   h = attach_quietly(sim.port, 5);
%!   linkRun(h, 'drive');
%!   linkSend(h, 1, 1, 1);
%!   if strcmp(how{1}, 'killed')
%!     pause(0.1);
%!     assert(size(linkState(h)), [7 1]);
%!     sim_stop(sim);
%!   else
%!     assert(numel(sim_log(sim, '^hangup$', 3)), 1);
%!     assert(sim_wait(sim), 0);
%!     sim_stop(sim);
%!   end
%!   assert_line_gone(h, 'Error: could not read from serial port', 'Error: could not write to serial port');
%!   assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));
%!   assert(open_descriptors(), before);
%!   assert_error_ends(@() linkDetach(h), 'Error: could not close serial port.', 'mexlink:notAttached');
%!   try
%!     evalc('h = linkAttach(sim.port, 115200, 8, 0, 5);');
%!     detach_quietly(h);
%!     error('attached to a vanished device');
%!   catch err
%!     assert(regexp(err.message, ['Error: (serial port does not exist|opening the serial port|' ...
%!                                 'setting serial port state)$'], 'once') > 0, err.message);
%!   end
%!   assert(open_descriptors(), before);
%! end
