function line = read_line(fid, timeout)
% READ_LINE  The next line a pipe gives within TIMEOUT seconds, or ''.
  line = '';
  t0 = tic;
  while toc(t0) < timeout
    got = fgetl(fid);
    if ischar(got), line = got; return; end
    fclear(fid);
    pause(0.005);
  end
end
