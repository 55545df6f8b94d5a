function protocol_benchmark(port, simLog, peerPort, peerLog, periodMs)
% PROTOCOL_BENCHMARK  Per-call figures of the mexlink commands against
% Octave's instrument-control serialport doing the same work.
%   protocol_benchmark(PORT, SIMLOG, PEERPORT, PEERLOG, PERIODMS) takes two
%   controller simulators started with --log-times --period PERIODMS and no
%   program running: mexlink talks to the one on PORT (log SIMLOG), a
%   serialport object to the one on PEERPORT (log PEERLOG). It prints:
%   - the per-call time of linkSend against write(s, bytes16, "uint8") of the
%     same 16-byte mailbox telegram, and of linkHalt against the write of the
%     4-byte stop telegram, with their ratio;
%   - the latency of linkState from the end of a status frame (the
%     simulator's wall-clock stamp) to its return, against its floor T, plus
%     the same latency for serialport's read of one 23-byte frame.
  more off;
  pkg load instrument-control;
  baud = 115200;
  period = periodMs / 1000;

  printf('\n== Protocol benchmark ==\n');
  printf('mexlink on %s, serialport on %s, frame period %d ms while a program runs\n', ...
         port, peerPort, periodMs);

  % linkSend(h, 0, 0, 0) sends each setpoint as 0 + 100, so both sides put
  % exactly these bytes on the line.
  bytes16 = uint8([14 0 128 9 1 10 double('100100100') 0]);   % 0E 00 80 09 01 0A "100100100" 00
  halt4 = uint8([2 0 128 1]);                                 % 02 00 80 01
  assert(numel(bytes16) == 16);

  evalc('h = linkAttach(port, baud, 8, 0, 5);');
  hCleanup = onCleanup(@() detach_quietly(h));
  s = serialport(peerPort, baud);   % closed when the function returns
  s.Timeout = 5;

  % --- per-call time -----------------------------------------------------
  % Each sample times a batch of calls, so the microsecond timer resolves a
  % tenth of a microsecond per call.
  warm = 2;
  samples = 400;
  batch = 10;
  time_calls(h, s, bytes16, halt4, warm, batch);
  overhead = timer_overhead(1000);
  [sendMex, sendPeer, haltMex, haltPeer, sendFloor] = time_calls(h, s, bytes16, halt4, samples, batch);
  calls = samples * batch;
  pause(0.2);   % let the simulators log the last telegrams

  printf(['\nPer-call time in microseconds (%d calls each in batches of %d, taking turns; tic/toc itself: ' ...
          '%.1f us a batch)\n'], calls, batch, 1e6 * overhead);
  printf('  %-34s %9s %9s %9s %6s\n', 'call', 'median', 'p90', 'min', 'n');
  a = print_call('linkSend(h, 0, 0, 0)', sendMex);
  f = print_call('floor_write(h, 0, 0, 0)', sendFloor);
  b = print_call('write(s, bytes16, "uint8")', sendPeer);
  printf('  %-34s %9.2f %9s %9.2f   (goal: at most 1.30)\n', 'ratio linkSend / floor', ...
         a.median / f.median, '', a.min / f.min);
  printf('  %-34s %9.2f %9.2f %9.2f\n', 'ratio linkSend / write', ...
         a.median / b.median, a.p90 / b.p90, a.min / b.min);
  a = print_call('linkHalt(h)', haltMex);
  b = print_call('write(s, [02 00 80 01], "uint8")', haltPeer);
  printf('  %-34s %9.2f %9.2f %9.2f\n', 'ratio linkHalt / write', ...
         a.median / b.median, a.p90 / b.p90, a.min / b.min);
  expected = (warm + samples) * batch;
  printf('  telegrams logged (expected %d each, %d mailbox on the mexlink side with the floor''s): mexlink side %d mailbox, %d stop; peer side %d mailbox, %d stop\n', ...
         expected, 2 * expected, count_log_lines(simLog, '^mailbox 1: 100 100 100$'), count_log_lines(simLog, '^stop$'), ...
         count_log_lines(peerLog, '^mailbox 1: 100 100 100$'), count_log_lines(peerLog, '^stop$'));

  % --- linkState latency ---------------------------------------------------
  % Each call starts right after the previous one returned, so it finds the
  % line empty, waits for the next frame and returns once the line has been
  % quiet for T after it: the floor of its latency is T.
  timeouts = [5 20];
  stateCalls = 100;
  state = cell(1, numel(timeouts));
  for i = 1:numel(timeouts)
    T = timeouts(i);
    if period <= T / 1000 || period >= 51 * T / 1000
      error('protocol_benchmark: the frame period must lie between T and 51*T for T = %d ms', T);
    end
    clear hCleanup;
    evalc('h = linkAttach(port, baud, 8, 0, T);');
    hCleanup = onCleanup(@() detach_quietly(h));
    linkRun(h, 'drive');
    linkState(h);
    state{i} = time_reads(@() state_seq(h), stateCalls);
    linkHalt(h);
  end
  pause(0.1);
  [seqs, stamps] = frame_times(simLog);

  % The peer reads one frame by its byte count: no pause to wait for.
  write(s, uint8([8 0 128 0 double('drive') 0]), 'uint8');   % start "drive"
  flush(s, 'input');   % the stop telegrams' leftovers; the start must still go out
  read(s, 23, 'uint8');
  peer = time_reads(@() peer_seq(s), stateCalls);
  write(s, halt4, 'uint8');
  pause(0.1);
  [peerSeqs, peerStamps] = frame_times(peerLog);

  printf('\nlinkState latency: end of the frame on the line (simulator stamp) to the return, in ms\n');
  printf('  %-26s %7s %8s %8s %8s %13s %5s %11s %12s %13s\n', 'reader', 'floor', 'median', 'p90', 'min', ...
         'median-floor', 'n', 'next frame', 'CPU of wall', 'CPU per call');
  for i = 1:numel(timeouts)
    lat = latencies(state{i}, seqs, stamps);
    x = summarize(lat);
    T = timeouts(i) / 1000;
    printf('  %-26s %7s %8s %8s %8s %13s %5d %6d of %-3d %10.2f%% %10.0f us\n', ...
           sprintf('linkState, T = %d ms', timeouts(i)), fmt_ms(T), fmt_ms(x.median), fmt_ms(x.p90), ...
           fmt_ms(x.min), sprintf('%+.2f', 1000 * (x.median - T)), x.n, nnz(diff(state{i}.seq) == 1), ...
           stateCalls - 1, 100 * sum(state{i}.cpu) / sum(state{i}.wall), 1e6 * median(state{i}.cpu));
  end
  lat = latencies(peer, peerSeqs, peerStamps);
  x = summarize(lat);
  printf('  %-26s %7s %8s %8s %8s %13s %5d %6d of %-3d %10.2f%% %10.0f us\n', 'serialport read(s, 23)', ...
         '-', fmt_ms(x.median), fmt_ms(x.p90), fmt_ms(x.min), '-', x.n, nnz(diff(peer.seq) == 1), stateCalls - 1, ...
         100 * sum(peer.cpu) / sum(peer.wall), 1e6 * median(peer.cpu));
  printf('  "next frame": calls that returned the frame after the previous call''s one.\n');
  printf('  serialport: reference only; it returns on a byte count and never waits for the pause.\n');
  printf('\nGoals: linkSend at most 1.3 times the floor (minimum times); linkState within 2 ms of T.\n');
end

function d = timer_overhead(n)
  d = zeros(n, 1);
  for k = 1:n
    id = tic;
    d(k) = toc(id);
  end
  d = median(d);
end

% The calls take turns, so load from other work on the machine falls on all
% of them alike.
function [sendMex, sendPeer, haltMex, haltPeer, sendFloor] = time_calls(h, s, bytes16, halt4, n, batch)
  sendMex = zeros(n, 1); sendPeer = zeros(n, 1); haltMex = zeros(n, 1); haltPeer = zeros(n, 1);
  sendFloor = zeros(n, 1);
  for k = 1:n
    [sendMex(k), sendFloor(k)] = time_sends(h, 1, batch);
    id = tic;
    for j = 1:batch, write(s, bytes16, 'uint8'); end
    sendPeer(k) = toc(id) / batch;
    id = tic;
    for j = 1:batch, linkHalt(h); end
    haltMex(k) = toc(id) / batch;
    id = tic;
    for j = 1:batch, write(s, halt4, 'uint8'); end
    haltPeer(k) = toc(id) / batch;
  end
end

function seq = peer_seq(s)
  f = read(s, 23, 'uint8');
  seq = double(f(4)) + 256 * double(f(5));   % first status field: the sequence number
end
