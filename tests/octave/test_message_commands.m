% linkSend and linkGains: scaling, limiting and the gain rule, checked on the
% mailbox fields the controller receives (refused values: test_argument_checks.m).
%!shared sim, h, stop
%! sim = sim_start();
%! h = attach_quietly(sim.port);
%! stop = onCleanup(@() sim_stop(sim, h));
%! linkRun(h, 'drive');

%!function fields = sent(sim, fn)
%!  before = numel(sim_log(sim, '^mailbox 1: ', 0));
%!  assert(printed_by(fn), '');
%!  t0 = tic;
%!  do
%!    lines = sim_log(sim, '^mailbox 1: ', 0);
%!  until numel(lines) > before || toc(t0) > 2
%!  assert(numel(lines), before + 1);
%!  fields = lines{end}(numel('mailbox 1: ') + 1:end);
%!endfunction

%!test
%! assert(sent(sim, @() linkSend(h, 0, 0, 0)), '100 100 100');
%! assert(sent(sim, @() linkSend(h, 1, -1, 100)), '105 095 200');
%! assert(sent(sim, @() linkSend(h, 16.96, -16.96, 17)), '200 000 200');
%! assert(sent(sim, @() linkSend(h, Inf, -Inf, NaN)), '200 000 000');
%! assert(sent(sim, @() linkSend(h, -1e300, 1e300, 0.1)), '000 200 100');
%! % Other numeric classes and logicals are read as their values.
%! assert(sent(sim, @() linkSend(h, int8(-3), single(2.5), true)), '083 114 105');
%! % The first element of a vector, as the host's scalar read gives; of a
%! % sparse array the first nonzero one, 0 if there is none.
%! assert(sent(sim, @() linkSend(h, [2 50], 0, 0)), '111 100 100');
%! assert(sent(sim, @() linkSend(h, sparse(2), sparse(-1), sparse(true))), '111 095 105');
%! assert(sent(sim, @() linkSend(h, sparse([0 3 5]), sparse(2, 2), sparse(false))), '117 100 100');

%!test
%! assert(sent(sim, @() linkGains(h, 0, 255, 10.9)), '000 255 010');
%! assert(sent(sim, @() linkGains(h, -0.5, 1, 99)), '000 001 099');
%! assert(sent(sim, @() linkGains(h, uint8(255), int16(7), 255.999)), '255 007 255');
%! assert(sent(sim, @() linkGains(h, sparse(60), sparse(0), sparse(7.9))), '060 000 007');

%!test
%! % The balance program takes its first message as gains, the rest as setpoints.
%! linkRun(h, 'balance');
%! linkGains(h, 60, 2, 3);
%! linkSend(h, 1, -1, 0);
%! assert(numel(sim_log(sim, '^gains 60 2 3$')), 1);
%! assert(numel(sim_log(sim, '^setpoints 5 -5 0$')), 1);
