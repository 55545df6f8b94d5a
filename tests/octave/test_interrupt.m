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
