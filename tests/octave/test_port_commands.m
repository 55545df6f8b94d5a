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
%! % One holder at a time: a second attach, in this process or another, is
%! % refused as a failed open is (the handle line shows -1, a warning names
%! % the cause), with no descriptor left open and the holder's settings and
%! % line as they were.
%! h = attach_quietly(sim.port);
%! settings = port_settings(sim.port);
%! before = open_descriptors();
%! f = @() linkAttach(sim.port, 9600, 7, 2, 99);
%! assert_error_ends(f, 'Error: opening the serial port', 'mexlink:portBusy');
%! assert(printed_by_failing(f), sprintf('*hSerial: -1\n'));
%! [text, id] = lastwarn();
%! assert(id, 'mexlink:openCause');
%! assert(text, ['linkAttach: ' sim.port ': another program, or another handle of this session, holds it: held in exclusive ' ...
%!               'mode (mexlink:portBusy)']);
%! assert(open_descriptors(), before);
%! [status, out] = second_octave(sprintf(['assert_error_ends(@() linkAttach(''%s'', 115200, 8, 0, 5), ' ...
%!                                        '''Error: opening the serial port'', ''mexlink:portBusy'');'], sim.port));
%! assert(status == 0, '%s', out);
%! assert(port_settings(sim.port), settings);
%! sim_send(sim, 'send 01 02 03 04 05 06 07');
%! pause(0.1);
%! evalc('bytes = linkPeek(h);');
%! assert(bytes, uint8(1:7).');
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
%! % Failed attaches leave no descriptor open, each after its handle line;
%! % the port attaches after the refused settings.
%! file = tempname();
%! fclose(fopen(file, 'w'));
%! cases = {'/dev/mexlink-missing', 115200, 8, 0, 5, 'Error: serial port does not exist', 'mexlink:noSuchPort';
%!          '/dev/null', 115200, 8, 0, 5, 'Error: setting serial port state', '';
%!          file, 115200, 8, 0, 5, 'Error: setting serial port state', '';
%!          tempdir(), 115200, 8, 0, 5, 'Error: opening the serial port', 'mexlink:openFailed';
%!          sim.port, 115200, 9, 0, 5, 'Error: setting serial port state', '';
%!          sim.port, 115200, 4, 0, 5, 'Error: setting serial port state', '';
%!          sim.port, 115200, 8, 7, 5, 'Error: setting serial port state', '';
%!          sim.port, 0, 8, 0, 5, 'Error: setting serial port state', '';
%!          sim.port, -9600, 8, 0, 5, 'Error: setting serial port state', '';
%!          sim.port, NaN, 8, 0, 5, 'Error: setting serial port state', '';
%!          sim.port, 115200, 8, 0, -5, 'Error: setting timeout', '';
%!          sim.port, 115200, 8, 0, -2147483648, 'Error: setting timeout', ''};
%! before = open_descriptors();
%! for k = 1:5
%!   for c = cases.'
%!     f = @() linkAttach(c{1:5});
%!     assert_error_ends(f, c{6}, c{7});
%!     assert(strncmp(printed_by_failing(f), '*hSerial: ', 10), '%s %s', c{1}, mat2str([c{2:5}]));
%!   end
%! end
%! unlink(file);
%! assert(open_descriptors(), before);
%! h = attach_quietly(sim.port);
%! detach_quietly(h);
%! assert(open_descriptors(), before);
