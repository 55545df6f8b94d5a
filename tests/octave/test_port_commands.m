% linkAttach and linkDetach: diagnostic lines, the handle, a busy port, and
% that failures leave no descriptor behind (argument checks: test_argument_checks.m).
%!shared sim, stop
%! sim = sim_start();
%! stop = onCleanup(@() sim_stop(sim));

%!test
%! % A missing port: the handle line shows -1, then the message.
%! f = @() linkAttach('/dev/mexlink-missing', 115200, 8, 0, 5);
%! assert_error_ends(f, 'Error: serial port does not exist', 'mexlink:noSuchPort');
%! assert(printed_by_failing(f), sprintf('*hSerial: -1\n'));

%!test
%! % Success: two lines, a 1x1 uint32 that is the number printed.
%! text = evalc('h = linkAttach(sim.port, 115200, 8.9, 0, 5.7);');
%! tokens = regexp(text, '^\*hSerial: (\d+)\nopenSerial: Successful!\n$', 'tokens');
%! assert(numel(tokens), 1);
%! assert(class(h), 'uint32');
%! assert(size(h), [1 1]);
%! assert(double(h), str2double(tokens{1}{1}));
%! assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));

%!test
%! % One holder at a time; the refused open leaves the holder working.
%! h = attach_quietly(sim.port);
%! assert_error_ends(@() linkAttach(sim.port, 9600, 8, 0, 5), 'Error: opening the serial port', 'mexlink:portBusy');
%! linkRun(h, 'idle');
%! assert(numel(sim_log(sim, '^start "idle"$')), 1);
%! linkHalt(h);
%! detach_quietly(h);
%! h = attach_quietly(sim.port);
%! detach_quietly(h);

%!test
%! % A program that had the port open before keeps it; holding no lock, it
%! % does not stop linkAttach, and both share the line.
%! fid = fopen(sim.port, 'r+');
%! assert(fid >= 3);
%! unwind_protect
%!   h = attach_quietly(sim.port);
%!   started = numel(sim_log(sim, '^start "idle"$', 0));
%!   linkRun(h, 'idle');
%!   t0 = tic;
%!   while numel(sim_log(sim, '^start "idle"$', 0)) == started && toc(t0) < 5
%!     pause(0.02);
%!   end
%!   assert(numel(sim_log(sim, '^start "idle"$', 0)), started + 1);
%!   linkHalt(h);
%!   detach_quietly(h);
%! unwind_protect_cleanup
%!   fclose(fid);
%! end_unwind_protect

%!test
%! % Failed attaches leave no descriptor open.
%! before = open_descriptors();
%! for k = 1:5
%!   assert_error_ends(@() linkAttach('/dev/mexlink-missing', 115200, 8, 0, 5), 'Error: serial port does not exist', 'mexlink:noSuchPort');
%!   assert_error_ends(@() linkAttach('/dev/null', 115200, 8, 0, 5), 'Error: setting serial port state');
%!   assert_error_ends(@() linkAttach(sim.port, 115200, 9, 0, 5), 'Error: setting serial port state');
%!   assert_error_ends(@() linkAttach(sim.port, 115200, 8, 7, 5), 'Error: setting serial port state');
%!   assert_error_ends(@() linkAttach(sim.port, 115200, 8, 0, -5), 'Error: setting timeout');
%!   assert_error_ends(@() linkAttach(sim.port, NaN, 8, 0, 5), 'Error: setting serial port state');
%!   assert_error_ends(@() linkAttach(tempdir(), 115200, 8, 0, 5), 'Error: opening the serial port', 'mexlink:openFailed');
%! end
%! assert(open_descriptors(), before);
%! h = attach_quietly(sim.port);
%! detach_quietly(h);
%! assert(open_descriptors(), before);
