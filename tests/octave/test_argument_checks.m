% Every command's argument checks, from tests/argument_checks.txt, and those
% whose values the table's tokens cannot make (column vectors).
%!shared sim, stop
%! sim = sim_start();
%! stop = onCleanup(@() sim_stop(sim));

%!test
%! assert(check_argument_table(sim) > 100);

%!test
%! % A column is not a row, and is refused before the numbers are read.
%! h = attach_quietly(sim.port);
%! assert_error_ends(@() linkAttach(sim.port', 'fast', 8, 0, 5), 'Error: arg0 must be a row vector', ...
%!                   'mexlink:portNameNotRow');
%! assert_error_ends(@() linkRun(h, 'drive'.'), 'Error: data should be a linear vector or is too long');
%! detach_quietly(h);
