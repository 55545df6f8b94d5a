function text = printed_by(fn)
% PRINTED_BY  What FN prints to the command window.
  text = evalc('fn();');
end
