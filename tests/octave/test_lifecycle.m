% A port's life beyond attach and detach: released when the plug-ins are
% cleared or Octave exits, untouched by outside changes that leave it
% working, and left as found when an attach is refused.
%!shared sim, stop
%! sim = sim_start();
%! stop = onCleanup(@() sim_stop(sim));

%!test
%! % Each way of clearing the plug-ins closes the ports attached through
%! % them: the same port attaches again at once and works.
%! for how = {'clear all', 'clear functions', 'clear linkAttach'}
%!   [status, out] = second_octave(sprintf(['h = attach_quietly(''%s''); %s;\n' ...
%!                                          'h = attach_quietly(''%s''); linkRun(h, ''idle''); detach_quietly(h);'], ...
%!                                         sim.port, how{1}, sim.port));
%!   assert(status == 0, '%s: %s', how{1}, out);
%! end
%! assert(numel(sim_log(sim, '^start "idle"$')), 3);

%!test
%! % A handle that outlives the clear names no port; what the session opened
%! % itself stays open.
%! [status, out] = second_octave(sprintf([ ...
%!   'h = attach_quietly(''%s''); fid = fopen(tempname(), ''w+''); clear functions;\n' ...
%!   'assert_error_ends(@() linkSend(h, 1, 2, 3), ''Error: could not write to serial port'', ''mexlink:notAttached'');\n' ...
%!   'assert_error_ends(@() linkDetach(h), ''Error: could not close serial port.'', ''mexlink:notAttached'');\n' ...
%!   'assert(fprintf(fid, ''kept'') == 4); frewind(fid); assert(fgetl(fid), ''kept''); fclose(fid);'], sim.port));
%! assert(status == 0, '%s', out);

%!test
%! % Octave exits with the port attached: the device is neither exclusive
%! % (a user other than root opens it) nor changed beyond raw mode and rate.
%! before = port_settings(sim.port);
%! [status, out] = second_octave(sprintf('h = attach_quietly(''%s''); linkRun(h, ''drive'');', sim.port));
%! assert(status == 0, '%s', out);
%! after = port_settings(sim.port);
%! keys = @(text) regexp(text, 'intr = .*time = \d+;', 'match', 'once');
%! assert(keys(after), keys(before));
%! assert(~isempty(strfind(after, '-icanon')));
%! system(['chmod o+rw ' sim.port]);
%! [status, out] = system(sprintf('setpriv --reuid=65534 --regid=65534 --clear-groups sh -c ''exec 3<>%s'' 2>&1', sim.port));
%! assert(status == 0, '%s', out);

%!test
%! % Keys changed from outside while attached: every command still works,
%! % and detaching leaves the keys as they were changed.
%! h = attach_quietly(sim.port);
%! system(['stty -F ' sim.port ' erase ^H intr ^C kill ^X eof ^B rows 40 time 5']);
%! changed = port_settings(sim.port);
%! linkRun(h, 'drive');
%! linkSend(h, 1, 1, 1);
%! linkGains(h, 1, 2, 3);
%! pause(0.2);
%! [values, isShort] = linkState(h);
%! assert(size(values), [7 1]);
%! evalc('linkPeek(h);');
%! linkHalt(h);
%! assert(numel(sim_log(sim, '^mailbox 1: 105 105 105$')), 1);
%! assert(evalc('linkDetach(h);'), sprintf('closeSerial: Successful!\n'));
%! keys = @(text) regexp(text, 'intr = .*time = \d+;', 'match', 'once');
%! assert(keys(port_settings(sim.port)), keys(changed));
%! assert(~isempty(strfind(changed, 'erase = ^H')));

%!test
%! % A refused attach leaves every setting as it found it.
%! system(['stty -F ' sim.port ' sane 9600 -clocal']);
%! before = port_settings(sim.port);
%! for args = {{115200, 8, 0, -5}, {115200, 9, 0, 5}, {57600, 8, 7, 5}, {NaN, 8, 0, 5}}
%!   try
%!     evalc('linkAttach(sim.port, args{1}{:});');
%!   catch
%!   end
%!   assert(isequal(port_settings(sim.port), before), 'attach with %s changed the settings', mat2str([args{1}{:}]));
%! end

%!test
%! % A program name with a char(0) is refused, and nothing is sent.
%! h = attach_quietly(sim.port);
%! starts = numel(sim_log(sim, '^start '));
%! stops = numel(sim_log(sim, '^stop$'));
%! assert_error_ends(@() linkRun(h, ['dri' char(0) 've']), 'Error: data should be a linear vector or is too long');
%! linkHalt(h);
%! detach_quietly(h);
%! t0 = tic;
%! while numel(sim_log(sim, '^stop$')) == stops && toc(t0) < 2, pause(0.02); end
%! assert(numel(sim_log(sim, '^start ')), starts);

%!test
%! % The line's other end sets the terminal's window size while the port is
%! % attached, to sizes that once stood for T = 0 and T = 4294967295: T still
%! % rules every read. The size the attach found is there again after it.
%! ctl = sim_start();
%! stop_ctl = onCleanup(@() sim_stop(ctl));
%! found = sim_send(ctl, 'winsize 24 80 640 480');
%! h = attach_quietly(ctl.port, 20);
%! assert(sim_send(ctl, 'winsize'), found);
%! for pixels = {'0 0', '65535 65535'}
%!   sim_send(ctl, ['winsize 24 80 ' pixels{1}]);
%!   t0 = tic;
%!   assert(evalc('linkPeek(h);'), sprintf('NumReadBytes: 0\n'));
%!   assert(toc(t0) > 1 && toc(t0) < 2.5, 'quiet read at T = 20 took %.3f s with %s pixels', toc(t0), pixels{1});
%! end
%! sim_send(ctl, 'winsize 24 80 640 480');
%! detach_quietly(h);
%! assert(sim_send(ctl, 'winsize'), found);

%!test
%! % Another program that opened the port first holds it in exclusive mode:
%! % linkAttach, as root too, refuses it as a port in use and leaves that
%! % mode alone (a user other than root is still kept out).
%! ctl = sim_start();
%! stop_ctl = onCleanup(@() sim_stop(ctl));
%! sim_send(ctl, 'exclusive on');
%! before = port_settings(ctl.port);
%! assert_error_ends(@() linkAttach(ctl.port, 115200, 8, 0, 5), 'Error: opening the serial port', 'mexlink:portBusy');
%! assert(port_settings(ctl.port), before);
%! system(['chmod o+rw ' ctl.port]);
%! [status, out] = system(sprintf('setpriv --reuid=65534 --regid=65534 --clear-groups sh -c ''exec 3<>%s'' 2>&1', ...
%!                                ctl.port));
%! assert(status ~= 0 && ~isempty(strfind(out, 'busy')), 'the holder lost its exclusive mode: %s', out);
%! sim_send(ctl, 'exclusive off');
%! detach_quietly(attach_quietly(ctl.port));

%!test
%! % Each attach gets a number no recent detach freed, so a handle kept past
%! % its detach names no port; nor does a handle in another process, which
%! % inherits the environment but not the ports.
%! handles = zeros(1, 17, 'uint32');
%! for k = 1:17
%!   handles(k) = attach_quietly(sim.port);
%!   detach_quietly(handles(k));
%! end
%! assert(numel(unique(handles)), 17);
%! assert_error_ends(@() linkSend(handles(1), 1, 2, 3), 'Error: could not write to serial port', 'mexlink:notAttached');
%! h = attach_quietly(sim.port);
%! [status, out] = second_octave(sprintf(['assert_error_ends(@() linkSend(uint32(%d), 1, 2, 3), ' ...
%!                                        '''Error: could not write to serial port'', ''mexlink:notAttached'');'], h));
%! detach_quietly(h);
%! assert(status == 0, '%s', out);

%!test
%! % The record of attached ports is read only where the plug-ins wrote it:
%! % a text set in the environment by hand, or saved and set back after the
%! % detach (when a file may have the number), names no port, and nothing is
%! % written through it. The next attach keeps a record of its own again.
%! [status, out] = second_octave(sprintf([ ...
%!   'port = ''%s''; h = attach_quietly(port); saved = getenv(''MEXLINK_ATTACHED_PORTS'');\n' ...
%!   'assert(~isempty(regexp(saved, [''^pid '' num2str(getpid()) '' port '' num2str(h) '' [0-9]+ [0-9]+ serial$''], ''once'')), saved);\n' ...
%!   'detach_quietly(h); file = tempname(); fid = fopen(file, ''w'');\n' ...
%!   'setenv(''MEXLINK_ATTACHED_PORTS'', saved);\n' ...
%!   'assert_error_ends(@() linkSend(h, 1, 2, 3), ''Error: could not write to serial port'', ''mexlink:notAttached'');\n' ...
%!   'setenv(''MEXLINK_ATTACHED_PORTS'', sprintf(''pid %%d port 2 5 0 serial'', getpid()));\n' ...
%!   'assert_error_ends(@() linkSend(uint32(2), 1, 2, 3), ''Error: could not write to serial port'', ''mexlink:notAttached'');\n' ...
%!   'assert_error_ends(@() linkDetach(uint32(2)), ''Error: could not close serial port.'', ''mexlink:notAttached'');\n' ...
%!   'fclose(fid); assert(isempty(fileread(file))); unlink(file);\n' ...
%!   'h = attach_quietly(port); detach_quietly(h); disp(''done'');'], sim.port));
%! assert(status == 0 && ~isempty(strfind(out, 'done')), '%s', out);
%! assert(isempty(strfind(out, char([14 0 128 9]))), 'a telegram went to the output');
