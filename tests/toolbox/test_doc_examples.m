% The examples of the help texts (toolbox/*.m) and the README's sessions, as
% they stand in those files, run against the simulated controller; each must
% do what its text says. Only the port names '/dev/ttyUSB0', 'COM3' and 'COM5'
% become the simulator's. mexlink_build's example builds, so test_mexlink_build.m
% runs it.
%!shared source, plugins
%! source = getenv('MEXLINK_SOURCE_DIR');
%! plugins = getenv('MEXLINK_PLUGIN_DIR');

%!function lines = events(sim, stops)
%!  % The program events of the log once the controller has logged STOPS stops.
%!  t0 = tic;
%!  while numel(sim_log(sim, '^stop$', 0)) < stops && toc(t0) < 5
%!    pause(0.05);
%!  end
%!  lines = sim_log(sim, '^(start|gains|setpoints|stop)', 0);
%!endfunction

%!function angles = last_angles(sim)
%!  % Motor angles (degrees) of the last status message the controller logged.
%!  frames = sim_log(sim, '^frame ', 0);
%!  v = sscanf(frames{end}(7:end), '%d').';
%!  angles = v(6:8);
%!endfunction

%!function v = logged_frame(sim, sequence)
%!  frame = sim_log(sim, sprintf('^frame %d ', sequence), 0);
%!  assert(numel(frame) >= 1, sprintf('frame %d is not in the log', sequence));
%!  v = sscanf(frame{end}(7:end), '%d').';
%!endfunction

%!function tail = frame_tail(line)
%!  % The last seven bytes of the status message logged as LINE.
%!  v = sscanf(line(7:end), '%d').';
%!  tail = status_fields(v(2:8))(end - 6:end);
%!endfunction

%!function expect(observed, expected, what)
%!  % assert(observed, expected), its message led by WHAT.
%!  try
%!    assert(observed, expected);
%!  catch failure
%!    error('%s: %s', what, failure.message);
%!  end
%!endfunction

%!function check_help_example(sim, file, k, printed, vars, err)
%!  % What example K of FILE's help says it does.
%!  [~, name] = fileparts(file);
%!  what = sprintf('%s, example %d', name, k);
%!  if ~isempty(err) && ~(strcmp(name, 'mexlink') && k == 2)
%!    error('%s failed: %s', what, err.message);
%!  end
%!  attached = '^\*hSerial: \d+\nopenSerial: Successful!\n';
%!  switch sprintf('%s %d', name, k)
%!    case {'linkAttach 1', 'linkDetach 1'}
%!      assert(~isempty(regexp(printed, [attached 'closeSerial: Successful!\n$'], 'once')), printed);
%!    case 'linkRun 1'
%!      expect(vars.isShort, int8(0), what);
%!      assert(vars.values, logged_status(sim, vars.values(1)), 1e-9);
%!      expect(events(sim, 1), {'start "drive"', 'stop'}, what);
%!      expect(numel(sim_log(sim, '^program drive running$', 0)), 1, what);
%!    case 'linkHalt 1'
%!      expect(events(sim, 1), {'start "drive"', 'setpoints 29 29 0', 'stop'}, what);
%!      angles = last_angles(sim);
%!      assert(angles(1) > 0 && angles(2) > 0 && angles(3) == 0, what);
%!    case 'linkSend 1'
%!      expect(events(sim, 1), {'start "drive"', 'setpoints 58 -58 0', 'setpoints 0 0 0', 'stop'}, what);
%!      expect(sim_log(sim, '^mailbox 1: ', 0), {'mailbox 1: 158 042 100', 'mailbox 1: 100 100 100'}, what);
%!      angles = last_angles(sim);
%!      assert(angles(1) > 0 && angles(2) < 0 && angles(3) == 0, what);
%!    case 'linkGains 1'
%!      expect(events(sim, 1), {'start "balance"', 'gains 60 0 0', 'setpoints 58 58 0', 'setpoints 0 0 0', 'stop'}, ...
%!             what);
%!      angles = last_angles(sim);
%!      assert(angles(1) > 0 && angles(2) > 0 && angles(3) == 0, what);
%!    case 'linkState 1'
%!      shown = regexp(printed, 'motor 1 at (-?[\d.]+) deg\n', 'tokens', 'once');
%!      assert(~isempty(shown), printed);
%!      v = logged_frame(sim, vars.values(1));
%!      assert(str2double(shown{1}), v(6), 0.05);
%!      assert(v(6) > 0, what);
%!    case 'linkPeek 1'
%!      parts = regexp(printed, [attached 'NumReadBytes: (\d+)\n([^\n]*)\n'], 'tokens', 'once');
%!      expect(numel(parts), 2, printed);
%!      assert(str2double(parts{1}) >= 7, printed);
%!      expect(sscanf(parts{2}, '%d').', double(vars.bytes.'), what);
%!      frames = sim_log(sim, '^frame ', 0);
%!      tails = cellfun(@frame_tail, frames, 'UniformOutput', false);
%!      assert(any(cellfun(@(t) isequal(t, vars.bytes.'), tails)), what);
%!    case 'linkPorts 1'
%!      % The list printed, then counted from the list returned.
%!      assert(iscellstr(vars.names) && isequal(size(vars.descriptions), size(vars.names)), what);
%!      expect(printed, [evalc('linkPorts()') sprintf('%d serial ports\n', numel(vars.names))], what);
%!    case 'linkProbe 1'
%!      % Five seconds of the simulator's frames, each in one piece.
%!      info = vars.info;
%!      expect(info.frameBytes, 23, what);
%!      assert(info.frames >= 80 && info.misshapenFrames == 0, what);
%!      assert(numel(info.safeT) == 2 && info.recommendedT >= info.safeT(1) && info.recommendedT <= info.safeT(2), what);
%!      assert(~isempty(strfind(printed, sprintf('take T = %d\n', info.recommendedT))), printed);
%!      expect(events(sim, 1), {'start "drive"', 'stop'}, what);
%!    case 'mexlink 1'
%!      expect(events(sim, 1), {'start "balance"', 'gains 60 0 0', 'setpoints 58 -58 0', 'setpoints 0 0 0', 'stop'}, ...
%!             what);
%!      expect(vars.isShort, int8(0), what);
%!      assert(~isempty(strfind(printed, 'degrees =')), printed);
%!      assert(vars.degrees(1) > 0 && vars.degrees(2) < 0 && vars.degrees(3) == 0, what);
%!    case 'mexlink 2'
%!      % Run while another handle holds the port.
%!      expect(err.identifier, 'mexlink:portBusy', what);
%!      assert(~isempty(strfind(printed, sprintf('close the other program\n'))), printed);
%!    otherwise
%!      error('%s: this test does not know what it should do', what);
%!  end
%!endfunction

%!test
%! % Every example of every help text but mexlink_build's, each against a
%! % fresh controller.
%! files = dir(fullfile(source, 'toolbox', '*.m'));
%! ran = 0;
%! for f = {files.name}
%!   file = fullfile(source, 'toolbox', f{1});
%!   if strcmp(f{1}, 'mexlink_build.m'), continue; end
%!   blocks = help_examples(file);
%!   assert(numel(blocks) >= 1, f{1});
%!   for k = 1:numel(blocks)
%!     sim = sim_start();
%!     stop = onCleanup(@() sim_stop(sim));
%!     holder = [];
%!     if strcmp(f{1}, 'mexlink.m') && k == 2
%!       holder = attach_quietly(sim.port);
%!     end
%!     before = open_descriptors();
%!     [printed, vars, err] = run_example_code(blocks{k}, sim.port);
%!     expect(open_descriptors(), before, sprintf('%s, example %d', f{1}, k));
%!     check_help_example(sim, file, k, printed, vars, err);
%!     if ~isempty(holder), detach_quietly(holder); end
%!     clear stop;
%!     ran += 1;
%!   end
%! end
%! assert(ran >= 10);

%!function blocks = readme_blocks(source)
%!  % The README's fenced blocks: {language, text} each.
%!  blocks = regexp(fileread(fullfile(source, 'README.md')), '(?ms)^```(\w*)\n(.*?)^```', 'tokens');
%!endfunction

%!function [commands, output] = session_parts(text)
%!  % A session as the README shows it: the commands after ">> ", and the
%!  % lines printed, numbers masked and spaces collapsed.
%!  lines = regexp(regexprep(text, '\n$', ''), '\n', 'split');
%!  typed = strncmp(lines, '>> ', 3);
%!  commands = cellfun(@(l) l(4:end), lines(typed), 'UniformOutput', false);
%!  output = masked(lines(~typed));
%!endfunction

%!function lines = masked(lines)
%!  lines = regexprep(lines, '[-+]?\d+(\.\d+)?(e[-+]\d+)?', '#');
%!  lines = strtrim(regexprep(lines, ' +', ' '));
%!endfunction

%!test
%! % The README's sessions: the Octave one through the README's own command,
%! % printing what the README shows (numbers aside), with the commands still
%! % found after a cd; the MATLAB one's commands, against the simulator on
%! % TCP; the failing attach; the MATLAB install, against the folders the
%! % release holds.
%! blocks = readme_blocks(source);
%! sessions = blocks(cellfun(@(b) ~isempty(regexp(b{2}, '(?m)^>> ', 'once')), blocks));
%! assert(numel(sessions), 4);
%! shell = cellfun(@(b) b{2}, blocks(cellfun(@(b) strcmp(b{1}, 'sh'), blocks)), 'UniformOutput', false);
%! shell = regexp(strjoin(shell, "\n"), ...
%!                '(?m)^bash scripts/with_simulator\.sh -- octave-cli [^\n]*$', 'match', 'once');
%! assert(~isempty(shell), 'the README names no Octave session command');
%! for s = sessions
%!   text = s{1}{2};
%!   [commands, shown] = session_parts(text);
%!   if ~isempty(strfind(text, 'MEXLINK_PORT'))
%!     % The README's command uses build/ of the checkout.
%!     assert(canonicalize_file_name(fullfile(source, 'build', 'octave')), canonicalize_file_name(plugins));
%!     input = [tempname() '.m'];
%!     fid = fopen(input, 'w');
%!     fprintf(fid, '%s\n', commands{:}, 'disp(''-- after a cd'')', 'cd(tempdir())', 'disp(exist(''linkAttach''))');
%!     fclose(fid);
%!     [status, out] = system(sprintf('cd %s && %s < %s 2>&1', source, shell, input));
%!     delete(input);
%!     expect(status, 0, out);
%!     lines = regexp(regexprep(out, '\n$', ''), '\n', 'split');
%!     lines = lines(cellfun(@isempty, regexp(lines, '^controller simulator on ', 'once')));
%!     after = find(strcmp(lines, '-- after a cd'));
%!     expect(numel(after), 1, out);
%!     expect(masked(lines(1:after - 1)), shown, out);
%!     expect(strtrim(lines{after + 1}), '3', out);   % the plug-in, found from elsewhere
%!     assert(~isempty(regexp(out, '(?m)^isShort = 0$', 'once')), out);
%!     degrees = sscanf(regexp(out, 'degrees =\n\n([^\n]*)\n', 'tokens', 'once'){1}, '%f');
%!     assert(degrees(1) > 0 && degrees(2) == degrees(1) && degrees(3) == 0, out);
%!   elseif ~isempty(strfind(text, 'Error using'))
%!     % A port that is not there, as written: the name stands for a missing one.
%!     [printed, ~, err] = run_example_code(strjoin(commands, "\n"), '/dev/mexlink-absent');
%!     assert(printed, sprintf('*hSerial: -1\n'));
%!     assert(err.identifier, 'mexlink:noSuchPort');
%!     said = strsplit(strtrim(text), "\n"){end};
%!     assert(err.message(end - numel(said) + 1:end), said);
%!   elseif ~isempty(strfind(text, 'socket://'))
%!     % The MATLAB session, against the simulator on TCP as the zip's runs.
%!     sim = sim_start('--listen', '0');
%!     stop = onCleanup(@() sim_stop(sim));
%!     [printed, vars, err] = run_example_code(strjoin(commands, "\n"), sim.port);
%!     assert(isempty(err), printed);
%!     assert(~isempty(regexp(printed, '^\*hSerial: \d+\nopenSerial: Successful!\n', 'once')), printed);
%!     assert(~isempty(regexp(printed, 'closeSerial: Successful!\n$', 'once')), printed);
%!     assert(vars.isShort, int8(0));
%!     assert(vars.degrees(1) > 0 && vars.degrees(2) == vars.degrees(1) && vars.degrees(3) == 0);
%!     expect(events(sim, 1), {'start "drive"', 'setpoints 58 58 0', 'stop'}, 'the MATLAB session');
%!     clear stop;
%!   elseif ~isempty(strfind(text, 'addpath('))
%!     % Windows paths: the folder added is one the release holds, and which
%!     % then names the plug-in in it.
%!     folder = regexp(text, 'addpath\(''([^'']*)''\)', 'tokens', 'once'){1};
%!     [~, arch] = fileparts(strrep(folder, '\', '/'));
%!     assert(any(strcmp(arch, {'win64', 'win32'})), text);
%!     assert(~isempty(strfind(text, ["\n" folder '\linkAttach.mexw' arch(4:5) "\n"])), text);
%!   else
%!     error('a session of the README this test does not run:\n%s', text);
%!   end
%! end
