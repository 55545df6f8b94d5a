function seq = state_seq(h)
% linkState's frame sequence number.
  v = linkState(h);
  seq = v(1);
end
