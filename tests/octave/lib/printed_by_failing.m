function text = printed_by_failing(fn)
% PRINTED_BY_FAILING  What FN prints before the error it must raise.
  text = evalc('try, fn(); catch, end');
end
