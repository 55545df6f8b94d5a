% linkRun and linkHalt: the telegrams the controller receives, the name
% rules, and the order of the checks.
%!shared sim, h
%! sim = sim_start();
%! h = attach_quietly(sim.port);

%!test
%! % The controller decodes exactly what was sent, and nothing is printed.
%! assert(printed_by(@() linkRun(h, 'abc')), '');
%! assert(numel(sim_log(sim, '^start "abc"$')), 1);
%! assert(numel(sim_log(sim, '^program abc unknown$')), 1);
%! linkRun(h, 'balance');
%! assert(numel(sim_log(sim, '^program balance running$')), 1);
%! assert(printed_by(@() linkHalt(h)), '');
%! assert(numel(sim_log(sim, '^stop$')), 1);
%! assert(isempty(sim_log(sim, '^bad telegram', 0.2)));

%!test
%! % Fifteen characters are the limit; a 1x0 name is sent empty.
%! linkRun(h, 'abcdefghijklmno');
%! assert(numel(sim_log(sim, '^start "abcdefghijklmno"$')), 1);
%! assert_error_ends(@() linkRun(h, 'abcdefghijklmnop'), 'Error: data should be a linear vector or is too long');
%! linkRun(h, char(zeros(1, 0)));
%! assert(numel(sim_log(sim, '^start ""$')), 1);
%! assert_error_ends(@() linkRun(h, ''), 'Error: data should be a linear vector or is too long');
%! assert_error_ends(@() linkRun(h, ['ab'; 'cd']), 'Error: data should be a linear vector or is too long');
%! assert_error_ends(@() linkRun(h, 'drive'.'), 'Error: data should be a linear vector or is too long');
%! assert(isempty(sim_log(sim, '^bad telegram', 0.2)));

%!test
%! % Counts first, then the name, then the handle.
%! assert_error_ends(@() linkRun(h), 'Error: two input arguments required');
%! assert_error_ends(@() call_nargout(1, @linkRun, h), 'Error: two input arguments required');
%! assert_error_ends(@() call_nargout(1, @linkRun, h, 'drive'), 'Error: too many output arguments');
%! assert_error_ends(@() linkRun(h, 42), 'Input must be a string');
%! none = uint32(4294967295);
%! assert_error_ends(@() linkRun(none, 'abcdefghijklmnop'), 'Error: data should be a linear vector or is too long');
%! assert_error_ends(@() linkRun(none, 'drive'), 'Error: serial port does not exist', 'mexlink:noPort');
%! assert_error_ends(@() linkRun(double(h), 'drive'), 'Error: invalid port handle');
%! assert_error_ends(@() linkHalt(), 'Error: one input arguments required');
%! assert_error_ends(@() linkHalt(h, h), 'Error: one input arguments required');
%! assert_error_ends(@() call_nargout(1, @linkHalt, h), 'Error: too many output arguments');
%! assert_error_ends(@() linkHalt(none), 'Error: serial port does not exist', 'mexlink:noPort');
%! assert_error_ends(@() linkHalt(uint32(0)), 'Error: could not write to serial port', 'mexlink:notAttached');

%!test
%! % A detached handle is refused, not written through.
%! detach_quietly(h);
%! assert_error_ends(@() linkRun(h, 'drive'), 'Error: could not write to serial port', 'mexlink:notAttached');
%! assert_error_ends(@() linkHalt(h), 'Error: could not write to serial port', 'mexlink:notAttached');
%! sim_stop(sim);
