function messages = system_messages()
% SYSTEM_MESSAGES  Every message the commands raise, from core/frame/messages.hpp:
%   a struct array with fields name (the constant's name), id (the
%   identifier it is raised with) and text (for the formatted warnings, as
%   the help texts show them).
  text = fileread(fullfile(source_root(), 'core', 'frame', 'messages.hpp'));
  rows = regexp(text, '(?m)^\s*ITEM\((\w+), *(\w*), "([^"]*)"\)', 'tokens');
  if numel(rows) < 20
    error('system_messages: only %d messages in core/frame/messages.hpp', numel(rows));
  end
  messages = struct('name', {}, 'id', {}, 'text', {});
  for k = 1:numel(rows)
    messages(k) = struct('name', [rows{k}{1} rows{k}{2}], 'id', ['mexlink:' rows{k}{1}], 'text', rows{k}{3});
  end
  % The formatted warnings (an open error's cause, a Bluetooth link's
  % Incoming port): as the help texts show them.
  shown = regexp(text, ['show it as\s*(?://\s*)?"([^"]*)"\.\s*namespace message \{\s*' ...
                        'constexpr Message (\w+)\{"(mexlink:\w+)"'], 'tokens');
  if numel(shown) < 2
    error('system_messages: core/frame/messages.hpp names %d formatted warnings', numel(shown));
  end
  for k = 1:numel(shown)
    messages(end + 1) = struct('name', shown{k}{2}, 'id', shown{k}{3}, 'text', shown{k}{1});
  end
end
