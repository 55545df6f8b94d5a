% Help texts beside the built plug-ins: help shows linkX.m, a call runs
% linkX.mex; the texts agree with the commands' calls and messages.
%!shared names, forms, plugins, source
%! names = {'linkAttach', 'linkDetach', 'linkRun', 'linkHalt', ...
%!          'linkSend', 'linkGains', 'linkState', 'linkPeek'};
%! forms = {'h = linkAttach(portName, baudRate, byteSize, parity, timeoutMs)', ...
%!          'linkDetach(h)', 'linkRun(h, name)', 'linkHalt(h)', ...
%!          'linkSend(h, x1, x2, x3)', 'linkGains(h, g1, g2, g3)', ...
%!          '[values, isShort] = linkState(h)', 'bytes = linkPeek(h)'};
%! plugins = getenv('MEXLINK_PLUGIN_DIR');
%! source = getenv('MEXLINK_SOURCE_DIR');

%!function messages = raised_by(source, name)
%!  % The messages the command's own source raises, plus those of the shared
%!  % checks and port routines it calls.
%!  text = fileread(fullfile(source, 'commands', [name '.cpp']));
%!  messages = regexp(text, '"((?:Error: |Input must)[^"]*)"', 'tokens');
%!  messages = cellfun(@(t) t{1}, messages, 'UniformOutput', false);
%!  shared = {'checkOutputCount', {'Error: too many output arguments'}; ...
%!            'portHandleOf', {'Error: invalid port handle'}; ...
%!            'scalarOf', {'Error: argN must be a number'}; ...
%!            'openSerial', {'Error: serial port does not exist', 'Error: opening the serial port', ...
%!                           'Error: setting serial port state', 'Error: setting timeout'}; ...
%!            'writeSerial', {'Error: could not write to serial port'}; ...
%!            'readSerialLatest', {'Error: the serial line never paused', 'Error: could not read from serial port', ...
%!                                 'Error: read interrupted by Ctrl-C'}; ...
%!            'readSerialOnce', {'Error: could not read from serial port', 'Error: read interrupted by Ctrl-C'}; ...
%!            'closeSerial', {'Error: serial port does not exist.', 'Error: could not close serial port.'}};
%!  for k = 1:rows(shared)
%!    if ~isempty(strfind(text, [shared{k, 1} '(']))
%!      messages = [messages, shared{k, 2}];
%!    end
%!  end
%!  messages = unique(messages);
%!endfunction

%!test
%! % help shows the text of linkX.m and names the plug-in it describes.
%! for k = 1:numel(names)
%!   [text, format] = get_help_text(names{k});
%!   assert(format, 'plain text');
%!   lines = strsplit(strtrim(text), "\n");
%!   assert(regexp(lines{1}, ['^' upper(names{k}) '  \S'], 'once'), 1, names{k});
%!   assert(strtrim(lines{2}), forms{k});
%!   assert(~isempty(strfind(text, 'Example')), names{k});
%!   printed = evalc(sprintf('help %s', names{k}));
%!   assert(~isempty(strfind(printed, fullfile(plugins, [names{k} '.mex']))), printed);
%!   assert(~isempty(strfind(printed, forms{k})), printed);
%! end

%!test
%! % Each text lists every message its command can raise.
%! for k = 1:numel(names)
%!   text = get_help_text(names{k});
%!   messages = raised_by(source, names{k});
%!   assert(numel(messages) >= 3, names{k});
%!   for m = messages
%!     assert(~isempty(strfind(text, m{1})), sprintf('%s: help lacks "%s"', names{k}, m{1}));
%!   end
%! end

%!test
%! % A call still runs the plug-in, not the comment-only file beside it: the
%! % argument checks answer, and a real call returns the handle.
%! assert(exist('linkAttach'), 3);
%! assert_error_ends(@() linkAttach(), 'Error: five input arguments required');
%! assert_error_ends(@() linkDetach(), 'Error: one input arguments required');
%! assert_error_ends(@() linkRun(), 'Error: two input arguments required');
%! assert_error_ends(@() linkHalt(), 'Error: one input arguments required');
%! assert_error_ends(@() linkSend(), 'Error: four input arguments required');
%! assert_error_ends(@() linkGains(), 'Error: four input arguments required');
%! assert_error_ends(@() linkState(), 'Error: one input arguments required');
%! assert_error_ends(@() linkPeek(), 'Error: one input arguments required');
%! session_check(plugins);

%!test
%! % Contents lists every command with the first line of its help.
%! text = evalc(sprintf('help (''%s'')', plugins));
%! for k = 1:numel(names)
%!   first = strtrim(strsplit(get_help_text(names{k}), "\n"){1});
%!   summary = strtrim(first(numel(names{k}) + 1:end));
%!   assert(~isempty(regexp(text, sprintf('\\n\\s*%s\\s+- %s\\n', names{k}, regexptranslate('escape', summary)), 'once')), ...
%!          sprintf('Contents lacks "%s - %s"', names{k}, summary));
%! end
