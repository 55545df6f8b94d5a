function messages = system_messages()
% SYSTEM_MESSAGES  Every message the commands raise, from core/messages.hpp:
%   a struct array with fields name (the constant's name), id (the
%   identifier it is raised with) and text.
  text = fileread(fullfile(source_root(), 'core', 'messages.hpp'));
  rows = regexp(text, '(?m)^\s*ITEM\((\w+), *(\w*), "([^"]*)"\)', 'tokens');
  if numel(rows) < 20
    error('system_messages: only %d messages in core/messages.hpp', numel(rows));
  end
  messages = struct('name', {}, 'id', {}, 'text', {});
  for k = 1:numel(rows)
    messages(k) = struct('name', [rows{k}{1} rows{k}{2}], 'id', ['mexlink:' rows{k}{1}], 'text', rows{k}{3});
  end
end
