% Help texts beside the built plug-ins: help shows linkX.m, a call runs
% linkX.mex; the texts agree with how the commands behave: their inputs and
% the messages they raise.
%!shared names, plugins, source
%! names = command_names();
%! plugins = getenv('MEXLINK_PLUGIN_DIR');
%! source = getenv('MEXLINK_SOURCE_DIR');

%!function pairs = listed_errors(text)
%!  % Identifier and message of each line of a help text that starts with an
%!  % identifier (its Errors and Warning sections), as rows {id, text}; a
%!  % cause may follow the text after two spaces.
%!  rows = regexp(text, '(?m)^\s*(mexlink:\w+)\s+(\S[^\n]*?)(?: {2,}[^\n]*)?\s*$', 'tokens');
%!  pairs = reshape([rows{:}], 2, []).';
%!endfunction

%!function inputs = usage_inputs(name)
%!  % How many inputs the usage line under a help text's first line names.
%!  usage = regexp(get_help_text(name), ['(?m)^[^\n(]*' name '\(([^)]*)\)'], 'tokens', 'once');
%!  inputs = numel(strsplit(usage{1}, ','));
%!endfunction

%!test
%! % help shows the text of linkX.m beside the plug-in it describes; its
%! % usage line names as many inputs as the command takes: one more is
%! % refused as a wrong count, that many is not.
%! for k = 1:numel(names)
%!   [text, format] = get_help_text(names{k});
%!   assert(format, 'plain text');
%!   assert(regexp(text, ['^\s*' upper(names{k}) '  \S'], 'once'), 1, names{k});
%!   assert(~isempty(strfind(text, 'Example')), names{k});
%!   printed = evalc(sprintf('help %s', names{k}));
%!   assert(~isempty(strfind(printed, fullfile(plugins, [names{k} '.mex']))), printed);
%!   inputs = usage_inputs(names{k});
%!   fn = str2func(names{k});
%!   for given = [inputs, inputs + 1]
%!     id = '';
%!     try
%!       evalc('fn(cell(1, given){:});');
%!     catch err
%!       id = err.identifier;
%!     end
%!     assert(strcmp(id, 'mexlink:inputCount') == (given > inputs), '%s with %d inputs: %s', names{k}, given, id);
%!   end
%! end

%!test
%! % Every message line of a help text is one the commands raise, under its
%! % identifier; every message is in some command's help; and each command's
%! % help lists what the table of wrong calls shows that command raising.
%! known = system_messages();
%! known = [{known.id}; regexprep({known.text}, 'arg\d must be a number', 'argN must be a number')].';
%! listed = cell(0, 3);
%! for k = 1:numel(names)
%!   pairs = listed_errors(get_help_text(names{k}));
%!   assert(rows(pairs) >= 3, names{k});
%!   for p = 1:rows(pairs)
%!     assert(any(strcmp(pairs{p, 1}, known(:, 1)) & strcmp(pairs{p, 2}, known(:, 2))), ...
%!            '%s: help lists "%s %s", which no command raises', names{k}, pairs{p, :});
%!   end
%!   listed = [listed; [repmat(names(k), rows(pairs), 1), pairs]];
%! end
%! for m = 1:rows(known)
%!   assert(any(strcmp(known{m, 1}, listed(:, 2)) & strcmp(known{m, 2}, listed(:, 3))), ...
%!          'no help lists "%s %s"', known{m, :});
%! end
%! table = regexp(fileread(fullfile(source, 'tests', 'argument_checks.txt')), ...
%!                '(?m)^(link\w+) [^\n]*=> (mexlink:\w+) ([^\n]*)$', 'tokens');
%! assert(numel(table) > 50);
%! for t = table
%!   row = t{1};
%!   assert(any(strcmp(row{1}, listed(:, 1)) & strcmp(row{2}, listed(:, 2)) ...
%!              & strcmp(regexprep(row{3}, 'arg\d must be a number', 'argN must be a number'), listed(:, 3))), ...
%!          '%s raises "%s %s", which its help does not list', row{:});
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
