% linkRun and linkHalt: the telegrams the controller receives (refused names
% and the order of the checks: test_argument_checks.m).
%!shared sim, h, stop
%! sim = sim_start();
%! h = attach_quietly(sim.port);
%! stop = onCleanup(@() sim_stop(sim, h));

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
%! linkRun(h, char(zeros(1, 0)));
%! assert(numel(sim_log(sim, '^start ""$')), 1);
%! assert(isempty(sim_log(sim, '^bad telegram', 0.2)));
