% linkAttach and linkDetach: checks in their order, messages, diagnostic
% lines, the handle, and that failures leave no descriptor behind.
%!shared sim
%! sim = sim_start();

%!test
%! % Input count comes first, even when the output count is wrong as well.
%! assert_error_ends(@() linkAttach(), 'Error: five input arguments required');
%! assert_error_ends(@() linkAttach(sim.port, 1, 2, 3), 'Error: five input arguments required');
%! assert_error_ends(@() call_nargout(2, @linkAttach, sim.port, 1, 2, 3, 4, 5), ...
%!                   'Error: five input arguments required');
%! assert_error_ends(@() call_nargout(2, @linkAttach, sim.port, 115200, 8, 0, 5), ...
%!                   'Error: too many output arguments');

%!test
%! % The name: a string before anything else, then exactly one row.
%! assert_error_ends(@() linkAttach(42, 115200, 8, 0, 5), 'Error: arg0 must be a string');
%! assert_error_ends(@() linkAttach({sim.port}, 'x', 8, 0, 5), 'Error: arg0 must be a string');
%! assert_error_ends(@() linkAttach(['ab'; 'cd'], 115200, 8, 0, 5), 'Error: arg0 must be a row vector');
%! assert_error_ends(@() linkAttach('', 115200, 8, 0, 5), 'Error: arg0 must be a row vector');
%! assert_error_ends(@() linkAttach(sim.port', 115200, 8, 0, 5), 'Error: arg0 must be a row vector');

%!test
%! % Numbers must be numbers; the name is checked before them.
%! assert_error_ends(@() linkAttach(sim.port, 'fast', 8, 0, 5), 'Error: arg1 must be a number');
%! assert_error_ends(@() linkAttach(sim.port, 115200, {8}, 0, 5), 'Error: arg2 must be a number');
%! assert_error_ends(@() linkAttach(sim.port, 115200, 8, [], 5), 'Error: arg3 must be a number');
%! assert_error_ends(@() linkAttach(sim.port, 115200, 8, 0, struct()), 'Error: arg4 must be a number');

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
%! % Closing twice, closing what was never a port, closing nothing.
%! h = attach_quietly(sim.port);
%! detach_quietly(h);
%! assert_error_ends(@() linkDetach(h), 'Error: could not close serial port.', 'mexlink:notAttached');
%! assert_error_ends(@() linkDetach(uint32(4294967295)), 'Error: serial port does not exist.');
%! for fd = [0 1 2 1000]
%!   assert_error_ends(@() linkDetach(uint32(fd)), 'Error: could not close serial port.', 'mexlink:notAttached');
%! end
%! % The host's own descriptors are still there.
%! assert(fprintf(stdout, '') >= 0);

%!test
%! % Argument checks of linkDetach, in order.
%! h = attach_quietly(sim.port);
%! assert_error_ends(@() linkDetach(h, 1), 'Error: too many input arguments');
%! assert_error_ends(@() call_nargout(1, @linkDetach, h), 'Error: too many output arguments');
%! assert_error_ends(@() linkDetach(), 'Error: one input arguments required');
%! % Inputs are checked before outputs, a missing one too.
%! assert_error_ends(@() call_nargout(1, @linkDetach), 'Error: one input arguments required');
%! for bad = {double(h), int32(h), uint32([]), complex(double(h), 1), sparse(double(h)), 'h', {h}}
%!   assert_error_ends(@() linkDetach(bad{1}), 'Error: invalid port handle');
%! end
%! detach_quietly(h);

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

%!test
%! sim_stop(sim);
