% Help texts beside the built plug-ins: help shows linkX.m, a call runs
% linkX.mex; the texts agree with the commands' calls and messages.
%!shared names, plugins, source
%! names = command_names();
%! plugins = getenv('MEXLINK_PLUGIN_DIR');
%! source = getenv('MEXLINK_SOURCE_DIR');

%!function form = call_form(source, name)
%!  % How the command is called, from the first line of its source.
%!  first = strtrim(strsplit(fileread(fullfile(source, 'commands', [name '.cpp'])), "\n"){1});
%!  form = strtrim(first(3:end));
%!endfunction

%!function messages = raised_by(source, name)
%!  % The messages the command's own source raises, plus those of the shared
%!  % checks and port routines it calls.
%!  known = system_messages();
%!  text = fileread(fullfile(source, 'commands', [name '.cpp']));
%!  used = regexp(text, 'message::(\w+)', 'tokens');
%!  used = cellfun(@(t) t{1}, used, 'UniformOutput', false);
%!  shared = {'checkOutputCount', {'outputCount'}; ...
%!            'portHandleOf', {'invalidHandle'}; ...
%!            'scalarOf', {'notNumberArg1'}; ...
%!            'openSerial', {'noSuchPort', 'portBusy', 'portDenied', 'openFailed', 'stateFailed', 'timeoutFailed'}; ...
%!            'writeSerial', {'notAttachedForWrite', 'writeFailed'}; ...
%!            'readSerialLatest', {'neverPaused', 'notAttachedForRead', 'readFailed', 'interrupted'}; ...
%!            'readSerialOnce', {'notAttachedForRead', 'readFailed', 'interrupted'}; ...
%!            'closeSerial', {'noPortToClose', 'notAttachedForClose', 'closeFailed'}};
%!  for k = 1:rows(shared)
%!    if ~isempty(strfind(text, [shared{k, 1} '(']))
%!      used = [used, shared{k, 2}];
%!    end
%!  end
%!  messages = {};
%!  for u = unique(used)
%!    m = known(strcmp({known.name}, u{1}));
%!    messages(end + 1, :) = {m.id, strrep(m.text, 'arg1', 'argN')};
%!  end
%!endfunction

%!test
%! % help shows the text of linkX.m and names the plug-in it describes.
%! for k = 1:numel(names)
%!   [text, format] = get_help_text(names{k});
%!   assert(format, 'plain text');
%!   lines = strsplit(strtrim(text), "\n");
%!   assert(regexp(lines{1}, ['^' upper(names{k}) '  \S'], 'once'), 1, names{k});
%!   assert(strtrim(lines{2}), call_form(source, names{k}));
%!   assert(~isempty(strfind(text, 'Example')), names{k});
%!   printed = evalc(sprintf('help %s', names{k}));
%!   assert(~isempty(strfind(printed, fullfile(plugins, [names{k} '.mex']))), printed);
%!   assert(~isempty(strfind(printed, call_form(source, names{k}))), printed);
%! end

%!test
%! % Each text lists every message its command can raise, each on a line
%! % that starts with its identifier.
%! for k = 1:numel(names)
%!   text = get_help_text(names{k});
%!   messages = raised_by(source, names{k});
%!   assert(rows(messages) >= 3, names{k});
%!   for m = 1:rows(messages)
%!     line = sprintf('(^|\\n)\\s*%s\\s+%s', messages{m, 1}, regexptranslate('escape', messages{m, 2}));
%!     assert(~isempty(regexp(text, line, 'once')), sprintf('%s: help lacks "%s  %s"', names{k}, messages{m, :}));
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
%! % help mexlink lists every command with the first line of its help.
%! text = evalc('help mexlink');
%! assert(~isempty(strfind(text, fullfile(plugins, 'mexlink.m'))), text);
%! for k = 1:numel(names)
%!   first = strtrim(strsplit(get_help_text(names{k}), "\n"){1});
%!   summary = strtrim(first(numel(names{k}) + 1:end));
%!   assert(~isempty(regexp(text, sprintf('\\n\\s*%s\\s+- %s\\n', names{k}, regexptranslate('escape', summary)), 'once')), ...
%!          sprintf('help mexlink lacks "%s - %s"', names{k}, summary));
%! end
