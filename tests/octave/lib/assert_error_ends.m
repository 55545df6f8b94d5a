function assert_error_ends(fn, text)
% ASSERT_ERROR_ENDS  FN must raise an error whose message ends with TEXT
%   (Octave puts "name: " in front of a plug-in's message).
  try
    evalc('fn();');   % lines printed before the error are not the test's output
  catch err
    msg = err.message;
    if numel(msg) >= numel(text) && strcmp(msg(end - numel(text) + 1:end), text)
      return;
    end
    error('expected an error ending in "%s", got "%s"', text, msg);
  end
  error('expected an error ending in "%s", got none', text);
end
