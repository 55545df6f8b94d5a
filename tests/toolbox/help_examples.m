function blocks = help_examples(file)
% HELP_EXAMPLES  The code under each "Example" or "Typical session" heading
%   of FILE's help text, one char array per heading: the lines indented
%   deeper than the heading, up to a blank one. Every line of the help that
%   ends in a call and ";" must be in one, so no example goes unseen.
  lines = regexp(get_help_text(file), '\n', 'split');
  blocks = {};
  taken = false(size(lines));
  k = 1;
  while k <= numel(lines)
    heading = regexp(lines{k}, '^( *)(Example|Typical session)\s*$', 'tokens', 'once');
    k += 1;
    if isempty(heading), continue; end
    code = {};
    while k <= numel(lines) && numel(regexp(lines{k}, '^ *', 'match', 'once')) > numel(heading{1}) ...
          && ~isempty(strtrim(lines{k}))
      code{end + 1} = lines{k};
      taken(k) = true;
      k += 1;
    end
    blocks{end + 1} = strjoin(code, "\n");
  end
  statements = ~cellfun(@isempty, regexp(lines, '\w\(.*\)\s*;\s*(%.*)?$', 'once'));
  if any(statements & ~taken)
    error('%s: code outside an example: %s', file, strjoin(lines(statements & ~taken), ' | '));
  end
end
