function assert_error_ends(fn, text, id)
% ASSERT_ERROR_ENDS  FN must raise an error whose message ends with TEXT
%   (Octave puts "name: " in front of a plug-in's message) and whose
%   identifier is ID. Without ID (or with ''), the identifier must be the one that
%   core/frame/messages.hpp gives TEXT; a text that several identifiers share needs
%   ID to tell which.
  if nargin < 3 || isempty(id)
    known = system_messages();
    ids = unique({known(strcmp({known.text}, text)).id});
    if numel(ids) ~= 1
      error('"%s" is raised under %d identifiers: name the one expected', text, numel(ids));
    end
    id = ids{1};
  end
  try
    evalc('fn();');   % lines printed before the error are not the test's output
  catch err
    msg = err.message;
    if numel(msg) >= numel(text) && strcmp(msg(end - numel(text) + 1:end), text) && strcmp(err.identifier, id)
      return;
    end
    error('expected an error ending in "%s" (%s), got "%s" (%s)', text, id, msg, err.identifier);
  end
  error('expected an error ending in "%s", got none', text);
end
