% linkSend and linkGains: scaling, limiting and the gain rule, checked on the
% mailbox fields the controller receives.
%!shared sim, h
%! sim = sim_start();
%! h = attach_quietly(sim.port);
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
%! % The first element of a vector, as the host's scalar read gives.
%! assert(sent(sim, @() linkSend(h, [2 50], 0, 0)), '111 100 100');

%!test
%! assert(sent(sim, @() linkGains(h, 0, 255, 10.9)), '000 255 010');
%! assert(sent(sim, @() linkGains(h, -0.5, 1, 99)), '000 001 099');
%! assert(sent(sim, @() linkGains(h, uint8(255), int16(7), 255.999)), '255 007 255');
%! for bad = {{256, 0, 0}, {-0.5, 0, 300}, {0, -1, 0}, {NaN, 0, 0}, {0, 0, Inf}, {0, 1e10, 0}}
%!   args = bad{1};
%!   assert_error_ends(@() linkGains(h, args{:}), 'Error: invalid motor PID value(s)');
%! end

%!test
%! for fn = {@linkSend, @linkGains}
%!   f = fn{1};
%!   assert_error_ends(@() f(h, 1, 2), 'Error: four input arguments required');
%!   assert_error_ends(@() call_nargout(2, f, h, 1, 2, 3, 4), 'Error: four input arguments required');
%!   assert_error_ends(@() call_nargout(2, f, h, 1, 2, 3), 'Error: too many output arguments');
%!   assert_error_ends(@() f(uint32(4294967295), 1, 2, 3), 'Error: could not write to serial port', 'mexlink:notAttached');
%!   assert_error_ends(@() f(uint32(1), 1, 2, 3), 'Error: could not write to serial port', 'mexlink:notAttached');
%!   assert_error_ends(@() f(double(h), 1, 2, 3), 'Error: invalid port handle');
%!   assert_error_ends(@() f(h, 'a', 2, 3), 'Error: arg1 must be a number');
%!   assert_error_ends(@() f(h, 1, {}, 3), 'Error: arg2 must be a number');
%!   assert_error_ends(@() f(h, 1, 2, []), 'Error: arg3 must be a number');
%! end
%! % Nothing above reached the controller.
%! assert(isempty(sim_log(sim, '^bad telegram', 0.2)));

%!test
%! % The balance program takes its first message as gains, the rest as setpoints.
%! linkRun(h, 'balance');
%! linkGains(h, 60, 2, 3);
%! linkSend(h, 1, -1, 0);
%! assert(numel(sim_log(sim, '^gains 60 2 3$')), 1);
%! assert(numel(sim_log(sim, '^setpoints 5 -5 0$')), 1);

%!test
%! linkHalt(h);
%! detach_quietly(h);
%! sim_stop(sim);
