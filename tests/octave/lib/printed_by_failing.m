function text = printed_by_failing(fn)
% PRINTED_BY_FAILING  What FN prints before the error it must raise; the
%   warning naming an open error's cause (mexlink:openCause) is left out, as
%   lastwarn tells it.
  old = warning('off', 'backtrace');
  restore = onCleanup(@() warning(old));
  text = evalc('try, fn(); catch, end');
  text = regexprep(text, '^warning: [^\n]*\n', '', 'lineanchors');
end
