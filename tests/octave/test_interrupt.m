% Ctrl-C while a read waits: the call ends within a fraction of a second with
% its message, and the port stays attached and working.

%!test
%! sim = sim_start();
%! % T = 0 on a silent line: linkPeek would wait for 50 bytes for ever.
%! [msg, seconds] = interrupted_call(sim.port, 0, 'linkPeek(h)');
%! assert(msg, 'linkPeek: Error: read interrupted by Ctrl-C');
%! assert(seconds < 1, sprintf('took %.3f s', seconds));
%! % T = 1000: linkState would wait 51 s.
%! [msg, seconds] = interrupted_call(sim.port, 1000, 'linkState(h)');
%! assert(msg, 'linkState: Error: read interrupted by Ctrl-C');
%! assert(seconds < 1, sprintf('took %.3f s', seconds));
%! % Both children's setpoints reached the controller after the interrupt.
%! assert(numel(sim_log(sim, '^mailbox 1: 105 111 117$')), 2);
%! sim_stop(sim);

%!test
%! % Ctrl-C also ends a write the line does not take (nobody reads it).
%! sim = sim_start();
%! stop = onCleanup(@() sim_stop(sim));
%! kill(sim.pid, 19);
%! % The simulator reads again once the signal is sent, so the setpoints after it go out.
%! [msg, seconds] = interrupted_call(sim.port, 5, 'while true, linkSend(h, 1, 1, 1); end', @() kill(sim.pid, 18));
%! assert(msg, 'linkSend: Error: write interrupted by Ctrl-C');
%! assert(seconds < 1, sprintf('took %.3f s', seconds));

%!test
%! % SIGTERM and SIGHUP end a wait as Ctrl-C does, Octave then exits with the
%! % port released, and a user other than root can open the device again:
%! % during linkPeek with T = 0 on a silent line, and during a write a stalled
%! % line does not take.
%! sim = sim_start();
%! stop = onCleanup(@() sim_stop(sim));
%! system(['chmod o+rw ' sim.port]);
%! cases = {15, 'linkPeek(h)', 0; 1, 'while true, linkSend(h, 1, 1, 1); end', 19};
%! for k = 1:rows(cases)
%!   [sig, call, simSignal] = cases{k, :};
%!   if simSignal, kill(sim.pid, simSignal); end
%!   child = waiting_octave(sim.port, 0, call);
%!   sent = tic;
%!   kill(child.pid, sig);
%!   while waitpid(child.pid, WNOHANG) ~= child.pid
%!     assert(toc(sent) < 2, 'signal %d during %s: Octave still running after 2 s', sig, call);
%!     pause(0.01);
%!   end
%!   kill(sim.pid, 18);
%!   [status, out] = system(sprintf('setpriv --reuid=65534 --regid=65534 --clear-groups sh -c ''exec 3<>%s'' 2>&1', ...
%!                                  sim.port));
%!   assert(status == 0, 'signal %d during %s: the device stayed held: %s', sig, call, out);
%! end
