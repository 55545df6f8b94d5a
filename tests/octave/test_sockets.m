% Ports named socket://HOST:PORT against the simulator on TCP (--listen 0):
% the same bytes as on a pseudo-terminal, every command on such a handle,
% each way an attach fails, Ctrl-C and SIGTERM, a peer that goes or stops
% reading, and the release, with no descriptor left behind.

%!function [seen, heard, kind] = session(sim)
%!  % One session on SIM's port: what the calls printed and returned, the
%!  % log without frames and connections, and the kind the record gives the
%!  % port. Every frame linkState decodes is the newest the log names.
%!  h = sim_attach(sim, 20);
%!  kind = regexp(getenv('MEXLINK_ATTACHED_PORTS'), sprintf('port %d 20 (\\d+) (\\w+)', h), 'tokens', 'once');
%!  if strcmp(kind{2}, 'socket')
%!    assert(readlink(sprintf('/proc/%d/fd/%d', getpid(), h)), ['socket:[' kind{1} ']']);
%!  end
%!  kind = kind{2};
%!  seen = cellfun(@printed_by, {@() linkRun(h, 'abc'), @() linkRun(h, ['a' char([13 10]) 'b' char([17 19 255 3])]), ...
%!                               @() linkRun(h, 'drive'), @() linkSend(h, 1, -1, 100), @() linkGains(h, 0, 255, 10.9)}, ...
%!                 'UniformOutput', false);
%!  sim_log(sim, '^mailbox 1: 000 255 010$');
%!  % One frame, then backlogs that two reads cut, each decoded whole.
%!  for frames = [1 4 3]
%!    for k = 1:frames, sim_send(sim, 'frame'); end
%!    [values, isShort] = linkState(h);
%!    newest = sim_log(sim, '^frame ', 0){end};
%!    assert(values(1), sscanf(newest, 'frame %d', 1));
%!    assert(values, logged_status(sim, values(1)), 1e-9);
%!    seen{end + 1} = isShort;
%!  end
%!  % 67 bytes: a full read, the rest, then a quiet line.
%!  sim_send(sim, ['send' sprintf(' %02x', 0:59)], 'send 0a 0d 11 13 00 ff 7f');
%!  for k = 1:3
%!    seen{end + 1} = evalc('bytes = linkPeek(h);');
%!    seen{end + 1} = bytes;
%!  end
%!  assert(seen(end - 5:end), {sprintf('NumReadBytes: 50\n'), uint8(43:49).', sprintf('NumReadBytes: 17\n'), ...
%!                             uint8([10 13 17 19 0 255 127]).', sprintf('NumReadBytes: 0\n'), zeros(7, 1, 'uint8')});
%!  linkHalt(h);
%!  seen{end + 1} = evalc('linkDetach(h);');
%!  sim_log(sim, '^stop$');
%!  heard = sim_log(sim, '^(?!frame |client )', 0);
%!endfunction

%!test
%! % The same calls over TCP as over a pseudo-terminal: the same telegrams on
%! % the wire, the same frames and bytes back, the same lines printed; the
%! % record lists the socket by its inode, with its kind.
%! pty = sim_start('--period', '60000');
%! stop_pty = onCleanup(@() sim_stop(pty));
%! tcp = sim_start('--listen', '0', '--period', '60000');
%! stop_tcp = onCleanup(@() sim_stop(tcp));
%! [seen, heard, kind] = session(pty);
%! [seenTcp, heardTcp, kindTcp] = session(tcp);
%! assert({kind, kindTcp}, {'serial', 'socket'});
%! assert(seenTcp, seen);
%! assert(heardTcp, heard);
%! assert(any(strcmp(heard, 'start "a\x0d\x0ab\x11\x13\xff\x03"')), strjoin(heard, "\n"));
%! assert(seen{end}, sprintf('closeSerial: Successful!\n'));
%! assert(isempty(sim_log(tcp, '^bad telegram', 0)));

%!test
%! % Names that reach the simulator: a host name looked up (in /etc/hosts),
%! % the scheme in any case, an IPv6 address; linkProbe takes them too.
%! v4 = sim_start('--listen', '0', '--autostart', 'drive', '--period', '20');
%! stop_v4 = onCleanup(@() sim_stop(v4));
%! v6 = sim_start('--listen', '[::1]:0');
%! stop_v6 = onCleanup(@() sim_stop(v6));
%! service = regexp(v4.port, '\d+$', 'match', 'once');
%! for name = {['SOCKET://localhost:' service], v6.port}
%!   h = attach_quietly(name{1});
%!   linkRun(h, 'idle');
%!   detach_quietly(h);
%! end
%! assert(numel(sim_log(v4, '^start "idle"$')), 1);
%! assert(numel(sim_log(v6, '^start "idle"$')), 1);
%! sim_log(v4, '^client (closed|reset) the connection$');
%! evalc('info = linkProbe(v4.port, 115200, 8, 0, 1);');
%! assert(info.frameBytes, 23);
%! assert(abs(info.framePeriodMs - 20) < 5, 'a frame every %.1f ms', info.framePeriodMs);
%! assert(numel(sim_log_count(v4, '^client (closed|reset) the connection$', 2)), 2);

%!test
%! % Refused attaches: each error with its identifier, after the warning that
%! % names the cause, within its bound, and nothing left open. The host name
%! % has a label over 63 characters: refused before any query goes out.
%! tcp = sim_start('--listen', '0');
%! stop_tcp = onCleanup(@() sim_stop(tcp));
%! gone = sim_start('--listen', '0');
%! sim_stop(gone);
%! silent = full_backlog();
%! before = open_descriptors();
%! h = sim_attach(tcp);
%! nobody = 'nothing accepts connections there \(is the server running, on that port\? one that serves a single client refuses a second\): Connection refused';
%! cases = {gone.port, 'Error: opening the serial port', 'mexlink:openFailed', nobody, 0, 2;
%!          tcp.port, 'Error: opening the serial port', 'mexlink:openFailed', nobody, 0, 2;
%!          ['socket://' repmat('a', 1, 64) '.invalid:26741'], 'Error: serial port does not exist', ...
%!          'mexlink:noSuchPort', 'the host''s name does not resolve: .+', 0, 2;
%!          'socket://127.0.0.1', 'Error: serial port does not exist', 'mexlink:noSuchPort', ...
%!          'not of the form socket://HOST:PORT \(PORT 1 to 65535; an IPv6 address in brackets\)', 0, 2;
%!          silent.name, 'Error: opening the serial port', 'mexlink:openFailed', 'no connection within 5 s', 4.9, 6.5};
%! for c = cases.'
%!   [name, text, id, cause, low, high] = c{:};
%!   lastwarn('');
%!   failure = [];
%!   t0 = tic;
%!   printed = evalc('try, linkAttach(name, 115200, 8, 0, 5); catch failure, end');
%!   elapsed = toc(t0);
%!   assert({failure.message, failure.identifier}, {['linkAttach: ' text], id});
%!   assert(elapsed >= low && elapsed < high, '%s: %.2f s', name, elapsed);
%!   assert(strncmp(printed, sprintf('*hSerial: -1\n'), 13), printed);
%!   [warned, warnedId] = lastwarn();
%!   assert(warnedId, 'mexlink:openCause');
%!   assert(~isempty(regexp(warned, ['^linkAttach: ' regexptranslate('escape', name) ': ' cause ' \(' id '\)$'], 'once')), ...
%!          'warning: %s', warned);
%! end
%! % Settings a serial port would refuse: the connection is made, then closed.
%! % (The close of h is logged first, so each count starts after it.)
%! detach_quietly(h);
%! sim_log_count(tcp, '^client (closed|reset) the connection$', 1);
%! for c = {115200, 9, 0, 5, 'Error: setting serial port state'; 0, 8, 0, 5, 'Error: setting serial port state';
%!          115200, 8, 5, 5, 'Error: setting serial port state'; 115200, 8, 0, -1, 'Error: setting timeout'}.'
%!   closed = numel(sim_log(tcp, '^client (closed|reset) the connection$', 0)) + 1;
%!   assert_error_ends(@() sim_attach(tcp, c{1:4}), c{5});
%!   assert(numel(sim_log_count(tcp, '^client (closed|reset) the connection$', closed)), closed);
%! end
%! assert(open_descriptors(), before);

%!test
%! % The peer closes in the middle of a read: the read fails then, not at its
%! % time-out (T = 5000), and every read after it; writes fail once the peer's
%! % refusal is back; detach still closes, and nothing is left open.
%! sim = sim_start('--listen', '0', '--hangup-after', '5', '--period', '20');
%! stop = onCleanup(@() sim_stop(sim));
%! before = open_descriptors();
%! h = sim_attach(sim, 5000);
%! linkRun(h, 'drive');
%! t0 = tic;
%! reads = 0;
%! failure = [];
%! while isempty(failure) && toc(t0) < 20
%!   try
%!     evalc('linkPeek(h);');
%!     reads += 1;
%!   catch failure
%!   end
%! end
%! assert(toc(t0) < 3, 'the read ended after %.2f s', toc(t0));
%! assert(reads >= 1);
%! assert(failure.identifier, 'mexlink:readFailed');
%! assert(numel(sim_log(sim, '^hangup$')), 1);
%! assert_error_ends(@() linkState(h), 'Error: could not read from serial port', 'mexlink:readFailed');
%! assert_error_ends(@() linkPeek(h), 'Error: could not read from serial port', 'mexlink:readFailed');
%! for k = 1:20
%!   try
%!     linkGains(h, 1, 2, 3);
%!   catch failure
%!     break;
%!   end
%!   pause(0.02);
%! end
%! assert(failure.identifier, 'mexlink:writeFailed');
%! assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));
%! assert(open_descriptors(), before);

%!test
%! % A write to a peer that has gone fails with its message, and no SIGPIPE
%! % reaches the host. Octave keeps SIGPIPE blocked in its main thread, so
%! % one that a write raised would wait there, pending.
%! sim = sim_start('--listen', '0');
%! [status, out] = second_octave(sprintf([ ...
%!   'h = attach_quietly(''%s'');\n' ...
%!   'simulator_script(''stop'', ''%s'');\n' ...
%!   'for k = 1:20\n' ...
%!   '  try, linkSend(h, 1, 1, 1); catch failure, break; end\n' ...
%!   '  pause(0.02);\n' ...
%!   'end\n' ...
%!   'assert(failure.identifier, ''mexlink:writeFailed'');\n' ...
%!   'status = fileread(sprintf(''/proc/%%d/task/%%d/status'', getpid(), getpid()));\n' ...
%!   'pending = regexp(status, ''(?:SigPnd|ShdPnd):\\s*(\\w+)'', ''tokens'');\n' ...
%!   'assert(numel(pending), 2);\n' ...
%!   'assert(~any(cellfun(@(p) bitand(hex2dec(p{1}(end - 3:end)), 4096), pending)), ''SIGPIPE is pending'');\n' ...
%!   'detach_quietly(h);\n'], sim.port, sim.dir));
%! sim_stop(sim);
%! assert(status == 0, '%s', out);

%!test
%! % A peer that stops reading: once the buffers are full (kilobytes, as a
%! % serial port's, not the megabytes a socket's could grow to), a write fails
%! % after about 2 s without progress; Ctrl-C ends such a wait at once, and
%! % the port works again once the peer reads.
%! sim = sim_start('--listen', '0');
%! stop = onCleanup(@() sim_stop(sim));
%! h = sim_attach(sim);
%! kill(sim.pid, 19);
%! failure = [];
%! sent = 0;
%! t0 = tic;
%! while isempty(failure) && toc(t0) < 60
%!   t1 = tic;
%!   try
%!     linkSend(h, 1, 1, 1);
%!     sent += 1;
%!   catch failure
%!   end
%! end
%! last = toc(t1);
%! assert(failure.identifier, 'mexlink:writeFailed');
%! assert(last >= 1.9 && last < 4, 'the stalled write ended after %.2f s', last);
%! assert(sent < 20000, '%d telegrams went into the buffers', sent);
%! kill(sim.pid, 18);
%! detach_quietly(h);
%! held = sim_start('--listen', '0');
%! stop_held = onCleanup(@() sim_stop(held));
%! kill(held.pid, 19);
%! [msg, seconds] = interrupted_call(held.port, 5, 'while true, linkSend(h, 1, 1, 1); end', @() kill(held.pid, 18));
%! assert(msg, 'linkSend: Error: write interrupted by Ctrl-C');
%! assert(seconds < 1, 'took %.3f s', seconds);

%!test
%! % Ctrl-C while a socket connects ends the attach with its message; SIGTERM
%! % during a read on a socket ends Octave, as on a pseudo-terminal, and the
%! % connection goes with it.
%! pty = sim_start();
%! stop_pty = onCleanup(@() sim_stop(pty));
%! silent = full_backlog();
%! [msg, seconds] = interrupted_call(pty.port, 5, sprintf('linkAttach("%s", 115200, 8, 0, 5)', silent.name));
%! assert(msg, 'linkAttach: Error: connection interrupted by Ctrl-C');
%! assert(seconds < 1, 'took %.3f s', seconds);
%! tcp = sim_start('--listen', '0');
%! stop_tcp = onCleanup(@() sim_stop(tcp));
%! child = waiting_octave(tcp.port, 0, 'linkPeek(h)');
%! sent = tic;
%! kill(child.pid, 15);
%! while waitpid(child.pid, WNOHANG) ~= child.pid
%!   assert(toc(sent) < 2, 'Octave still running 2 s after SIGTERM');
%!   pause(0.01);
%! end
%! assert(numel(sim_log(tcp, '^client (closed|reset) the connection$')), 1);
%! detach_quietly(sim_attach(tcp));

%!test
%! % Each way of clearing the plug-ins closes the sockets attached through
%! % them (the second Octave sees the simulator let its client go), and so
%! % does leaving Octave.
%! sim = sim_start('--listen', '0');
%! stop = onCleanup(@() sim_stop(sim));
%! hows = {'clear all', 'clear functions', 'clear linkAttach', 'exit'};
%! for k = 1:numel(hows)
%!   [status, out] = second_octave(sprintf(['h = sim_attach(struct(''port'', ''%s'')); linkRun(h, ''idle''); %s;\n' ...
%!                                          'closed = sim_log_count(struct(''log'', ''%s''), ' ...
%!                                          '''^client (closed|reset) the connection$'', %d);\n' ...
%!                                          'assert(numel(closed), %d);'], sim.port, hows{k}, sim.log, k, k));
%!   assert(status == 0, '%s: %s', hows{k}, out);
%!   assert(numel(sim_log_count(sim, '^client (closed|reset) the connection$', k)), k, hows{k});
%! end
%! assert(numel(sim_log(sim, '^start "idle"$')), numel(hows));

%!test
%! % 1,000 attaches and detaches leave no descriptor open, and the simulator
%! % sees each client it took go. (It may take fewer: a client that detaches
%! % before it was taken leaves the next one queued behind it, and that one
%! % is let go unseen when listening stops.)
%! sim = sim_start('--listen', '0');
%! stop = onCleanup(@() sim_stop(sim));
%! before = open_descriptors();
%! for k = 1:1000
%!   detach_quietly(sim_attach(sim));
%! end
%! assert(open_descriptors(), before);
%! taken = numel(sim_log(sim, '^client \S+ connected$', 0));
%! assert(numel(sim_log_count(sim, '^client (closed|reset) the connection$', taken)), taken);

%!function [name, hasNul] = malformed_name()
%!  % A socket:// name, the scheme in any case, with one defect that makes
%!  % the rest no HOST:PORT; the rest is random and well-formed.
%!  hostChars = ['a':'z' '0':'9' '.-_'];
%!  addressChars = ['0':'9' 'a':'f' ':'];
%!  pick = @(chars, n) chars(randi(numel(chars), 1, n));
%!  scheme = 'socket://';
%!  shout = rand(1, numel(scheme)) < 0.5;
%!  scheme(shout) = upper(scheme(shout));
%!  bracketed = rand() < 0.5;
%!  if bracketed
%!    host = ['[' pick(addressChars, randi(12)) ']'];
%!  else
%!    host = pick(hostChars, randi(20));
%!  end
%!  separator = ':';
%!  port = sprintf('%d', randi(65535));
%!  tail = '';
%!  hasNul = false;
%!  switch randi(8)
%!    case 1  % no host
%!      host = '';
%!      if bracketed, host = '[]'; end
%!    case 2  % a host over 255 characters
%!      host = pick(hostChars, 255 + randi(40));
%!      if bracketed, host = ['[' pick(addressChars, 255 + randi(40)) ']']; end
%!    case 3  % a character no host holds
%!      bad = [' @/?#!*,;=~"''<>{}|^`\' char([1 9 127 128 200 255])];
%!      at = randi(numel(host) + 1);
%!      host = [host(1:at - 1) pick(bad, 1) host(at:end)];
%!    case 4  % no colon before the port
%!      separator = pick(' ;/.,', randi([0 1]));
%!    case 5  % no port of 1 to 65535
%!      ports = {'', '0', '00000', '65536', '99999', '123456', '000001', '+80', '-1', '8a', ' 80', '80 ', '0x50', '1e3'};
%!      port = ports{randi(numel(ports))};
%!    case 6  % something after the port
%!      tails = {'/', '/x', '?a=1', '#', ':', ' ', '.', 'x'};
%!      tail = tails{randi(numel(tails))};
%!    case 7  % a bracket not closed
%!      if bracketed, host = host(1:end - 1); else, host = ['[' host]; end
%!    case 8  % a char(0), which would end the name early
%!      hasNul = true;
%!  end
%!  name = [scheme host separator port tail];
%!  if hasNul
%!    at = randi([numel(scheme) + 1, numel(name) + 1]);
%!    name = [name(1:at - 1) char(0) name(at:end)];
%!  end
%!endfunction

%!test
%! % 1,000 malformed socket names, seeded: each refused as no such port,
%! % after the warning that says so (a char(0) is refused before any lookup,
%! % without one), at once, and with nothing left open.
%! rand('twister', 20240611);
%! before = open_descriptors();
%! failures = {};
%! slowest = 0;
%! for k = 1:1000
%!   [name, hasNul] = malformed_name();
%!   lastwarn('');
%!   failure = [];
%!   t0 = tic;
%!   evalc('try, linkAttach(name, 115200, 8, 0, 5); catch failure, end');
%!   slowest = max(slowest, toc(t0));
%!   warned = lastwarn();
%!   expected = sprintf('linkAttach: %s: not of the form socket://HOST:PORT (PORT 1 to 65535; an IPv6 address in brackets) (mexlink:noSuchPort)', name);
%!   if hasNul, expected = ''; end
%!   if isempty(failure)
%!     failures{end + 1} = sprintf('  %s: attached', mat2str(double(name)));
%!   elseif ~strcmp(failure.identifier, 'mexlink:noSuchPort') || ~strcmp(warned, expected)
%!     failures{end + 1} = sprintf('  %s: %s, warning "%s"', mat2str(double(name)), failure.identifier, warned);
%!   end
%! end
%! assert(isempty(failures), '%d of 1000 names went otherwise:\n%s', numel(failures), strjoin(failures(1:min(end, 10)), "\n"));
%! assert(slowest < 6, 'a call took %.2f s', slowest);
%! assert(open_descriptors(), before);
