% linkState and linkPeek against the simulated controller: decoded frames,
% the short flag, tails, and output shapes (the drain bound is among the
% line faults).

%!test
%! % A streaming program: values match what the controller sent, flag 0.
%! sim = sim_start('--period', '20');
%! h = attach_quietly(sim.port, 5);
%! linkRun(h, 'drive');
%! linkSend(h, 10, -10, 3);
%! pause(0.3);
%! for k = 1:5
%!   [values, isShort] = linkState(h);
%!   assert(class(values), 'double');
%!   assert(size(values), [7 1]);
%!   assert(class(isShort), 'int8');
%!   assert(size(isShort), [1 1]);
%!   assert(isShort, int8(0));
%!   assert(values, logged_status(sim, values(1)), 1e-9);
%! end
%! % Motors were driven: the angles moved off zero with the setpoints' signs.
%! assert(values(5) > 0 && values(6) < 0 && values(7) > 0);
%! % One output, and none: values only.
%! v = linkState(h);
%! assert(size(v), [7 1]);
%! linkState(h);
%! assert(size(ans), [7 1]);
%! linkHalt(h);
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % A quiet line: zeros and the short flag, after about T + 50*T.
%! sim = sim_start();
%! h = attach_quietly(sim.port, 4);
%! t0 = tic;
%! [values, isShort] = linkState(h);
%! elapsed = toc(t0);
%! assert(isShort, int8(1));
%! assert(values, zeros(7, 1));
%! assert(elapsed >= 0.2 && elapsed < 2);
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % 80 bytes waiting: chunks of 50 and 30, the frame is the last 20 of the 30.
%! sim = sim_start();
%! h = attach_quietly(sim.port, 10);
%! frame = [15 0 165, 1 0, 255 255, 52 18, 0 128, 255 127 0 0, 0 128 0 0, 255 255 255 255];
%! junk = mod(7 * (1:57), 256);
%! sim_send(sim, ['send' sprintf(' %02x', [junk frame])]);
%! pause(0.1);
%! assert(evalc('[values, isShort] = linkState(h);'), '');
%! assert(isShort, int8(0));
%! assert(values, status_values(frame), 1e-12);
%! % 53 bytes: the newest chunk holds only 3, but the 22 before them come
%! % along, so the frame cut by the chunk boundary is still read whole.
%! sim_send(sim, ['send' sprintf(' %02x', [junk(1:30) frame])]);
%! pause(0.1);
%! [values, isShort] = linkState(h);
%! assert(isShort, int8(0));
%! assert(values, status_values(frame), 1e-12);
%! % 22 bytes are too few for a frame.
%! sim_send(sim, ['send' sprintf(' %02x', frame(1:22))]);
%! pause(0.1);
%! [values, isShort] = linkState(h);
%! assert(isShort, int8(1));
%! assert(values, zeros(7, 1));
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % Backlogs of every length up to 150 bytes that end in whole frames: the
%! % newest frame is read whole wherever the 50-byte reads cut the stream.
%! % Only a backlog that ends exactly with a full read leaves too few bytes
%! % (22 of the read before and none after), as 100 waiting bytes always have.
%! sim = sim_start();
%! h = attach_quietly(sim.port, 10);
%! seq = 0;
%! for n = 0:150
%!   frames = floor(n / 23);
%!   backlog = repmat({'frame'}, 1, frames);
%!   if n > 23 * frames
%!     backlog = [{['send' sprintf(' %02x', mod(37 * (1:n - 23 * frames), 256))]}, backlog];
%!   end
%!   if n > 0
%!     sim_send(sim, backlog{:});
%!   end
%!   seq += frames;
%!   [values, isShort] = linkState(h);
%!   if frames == 0 || mod(n, 50) == 0
%!     assert({n, isShort, values}, {n, int8(1), zeros(7, 1)});
%!   else
%!     assert({n, isShort, values(1)}, {n, int8(0), seq});
%!     assert(values, logged_status(sim, seq), 1e-9);
%!   end
%! end
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % linkPeek: the last seven bytes of one read, and its count line.
%! sim = sim_start();
%! h = attach_quietly(sim.port, 10);
%! sim_send(sim, ['send' sprintf(' %02x', 1:12)]);
%! pause(0.1);
%! text = evalc('bytes = linkPeek(h);');
%! assert(text, sprintf('NumReadBytes: 12\n'));
%! assert(class(bytes), 'uint8');
%! assert(bytes, uint8(6:12).');
%! sim_send(sim, ['send' sprintf(' %02x', 1:6)]);
%! pause(0.1);
%! text = evalc('bytes = linkPeek(h);');
%! assert(text, sprintf('NumReadBytes: 6\n'));
%! assert(bytes, zeros(7, 1, 'uint8'));
%! % More than one read's worth: the first 50 only.
%! sim_send(sim, ['send' sprintf(' %02x', 1:60)]);
%! pause(0.1);
%! text = evalc('bytes = linkPeek(h);');
%! assert(text, sprintf('NumReadBytes: 50\n'));
%! assert(bytes, uint8(44:50).');
%! text = evalc('bytes = linkPeek(h);');
%! assert(text, sprintf('NumReadBytes: 10\n'));
%! assert(bytes, uint8(54:60).');
%! % Nothing at all: zeros after the total time-out, T + 50*T.
%! t0 = tic;
%! text = evalc('bytes = linkPeek(h);');
%! elapsed = toc(t0);
%! assert(text, sprintf('NumReadBytes: 0\n'));
%! assert(bytes, zeros(7, 1, 'uint8'));
%! assert(elapsed >= 0.51 && elapsed < 1.5, 'a quiet read at T = 10 took %.3f s', elapsed);
%! detach_quietly(h);
%! sim_stop(sim);

%!test
%! % The controller hangs up: reads and writes fail at once, detach still closes.
%! sim = sim_start();
%! h = attach_quietly(sim.port, 200);
%! sim_send(sim, 'hangup');
%! t0 = tic;
%! assert_error_ends(@() linkPeek(h), 'Error: could not read from serial port', 'mexlink:readFailed');
%! assert_error_ends(@() linkState(h), 'Error: could not read from serial port', 'mexlink:readFailed');
%! assert(toc(t0) < 5);
%! assert_error_ends(@() linkSend(h, 0, 0, 0), 'Error: could not write to serial port', 'mexlink:writeFailed');
%! assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));
%! sim_stop(sim);
