function n = check_argument_table(sim)
% CHECK_ARGUMENT_TABLE  Makes every call of tests/argument_checks.txt with
%   SIM's port attached as $h, and asserts each one's message and identifier
%   (the $gone lines run once $h is detached). No call may reach the
%   controller or open or close a descriptor. Returns the number of calls;
%   raises one error that lists every call that went otherwise.
  rows = table_rows(fullfile(source_root(), 'tests', 'argument_checks.txt'));
  descriptors = open_descriptors();
  heard = sim_log(sim, '^(?!frame |dropped )', 0);
  named = struct('port', sim.port, 'h', attach_quietly(sim.port));
  gone = cellfun(@(args) any(strcmp(args, '$gone')), {rows.args});
  failures = [check_rows(rows(~gone), named), {}];
  detach_quietly(named.h);
  named.gone = named.h;
  failures = [failures, check_rows(rows(gone), named)];
  if ~isequal(sim_log(sim, '^(?!frame |dropped )', 0.2), heard)
    failures{end + 1} = 'a refused call reached the controller';
  end
  if open_descriptors() ~= descriptors
    failures{end + 1} = 'the calls left the open descriptors changed';
  end
  if ~isempty(failures)
    error('%d of %d argument checks failed:\n%s', numel(failures), numel(rows), strjoin(failures, "\n"));
  end
  n = numel(rows);
end

function rows = table_rows(file)
  rows = struct('line', {}, 'command', {}, 'nlhs', {}, 'args', {}, 'id', {}, 'text', {});
  for line = strsplit(fileread(file), "\n")
    text = strtrim(line{1});
    if isempty(text) || text(1) == '#'
      continue;
    end
    parts = regexp(text, '^(\S+) (\d+)((?: \S+)*) => (\S+) (.+)$', 'tokens', 'once');
    if isempty(parts)
      error('check_argument_table: not a call line: %s', text);
    end
    rows(end + 1) = struct('line', text, 'command', parts{1}, 'nlhs', str2double(parts{2}), ...
                           'args', {strsplit(strtrim(parts{3}))}, 'id', parts{4}, 'text', parts{5});
    if isempty(parts{3})
      rows(end).args = {};
    end
  end
end

function failures = check_rows(rows, named)
  failures = {};
  for row = rows
    try
      args = cellfun(@(token) value_of(token, named), row.args, 'UniformOutput', false);
      assert_error_ends(@() call_nargout(row.nlhs, str2func(row.command), args{:}), row.text, row.id);
    catch err
      failures{end + 1} = sprintf('  %s\n    %s', row.line, err.message);
    end
  end
end

% The Octave value of one token of tests/host/runner_values.cpp's language.
function v = value_of(token, named)
  if token(1) == '$'
    v = named.(token(2:end));
    return;
  end
  colon = find(token == ':', 1);
  tag = token(1:colon - 1);
  value = token(colon + 1:end);
  switch tag
    case 's'
      v = decoded(value);
    case 'c2'
      v = char(strsplit(value, ','));
    case 'v'
      v = str2double(strsplit(value, ','));
    case 'e'
      v = resize(cast_to(class_named(value), 0), 0, 0);
    case 'sp'
      v = sparse(1);
    case 'cell'
      v = {[]};
    case 'struct'
      v = struct();
    otherwise
      complex_value = tag(1) == 'z';
      if complex_value
        tag = tag(2:end);
      end
      if isempty(tag)
        tag = 'd';
      end
      v = cast_to(class_named(tag), str2double(value));
      if complex_value
        if ~isfloat(v)
          error('Octave has no complex %s: %s', class(v), token);
        end
        v = complex(v, 0);
      end
  end
end

function name = class_named(tag)
  tags = {'d', 'i8', 'u8', 'i16', 'u16', 'i32', 'u32', 'i64', 'u64'};
  names = {'double', 'int8', 'uint8', 'int16', 'uint16', 'int32', 'uint32', 'int64', 'uint64'};
  k = find(strcmp(tags, tag));
  name = tag;
  if ~isempty(k)
    name = names{k};
  end
end

function v = cast_to(name, x)
  switch name
    case 'char'
      v = char(x);
    case 'logical'
      v = logical(x);
    case 'cell'
      v = {x};
    case 'struct'
      v = struct('x', x);
    otherwise
      v = cast(x, name);
  end
end

% \xHH is any byte, \\ a backslash.
function text = decoded(value)
  text = char(zeros(1, 0));
  k = 1;
  while k <= numel(value)
    if value(k) == '\' && k < numel(value) && value(k + 1) == '\'
      text(end + 1) = '\';
      k += 2;
    elseif value(k) == '\'
      text(end + 1) = char(hex2dec(value(k + 2:k + 3)));
      k += 4;
    else
      text(end + 1) = value(k);
      k += 1;
    end
  end
end
