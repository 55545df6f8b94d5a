function messages = system_messages()
% SYSTEM_MESSAGES  Every message the commands raise, from core/messages.hpp:
%   a struct whose field names are the messages' names, their values the texts.
  text = fileread(fullfile(source_root(), 'core', 'messages.hpp'));
  items = regexp(text, 'ITEM\((\w+), "([^"]*)"\)', 'tokens');
  if numel(items) < 20
    error('system_messages: only %d messages in core/messages.hpp', numel(items));
  end
  messages = struct();
  for k = 1:numel(items)
    messages.(items{k}{1}) = items{k}{2};
  end
end
