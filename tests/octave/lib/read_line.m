function line = read_line(fid, timeout)
% READ_LINE  The next whole line a pipe gives within TIMEOUT seconds, without
%   its newline, or ''. A pipe can hand over part of a line (the writer's
%   output need not arrive in one piece): the pieces are joined.
  line = '';
  t0 = tic;
  while toc(t0) < timeout
    got = fgets(fid);
    if ischar(got)
      line = [line got];
      if line(end) == "\n"
        line = line(1:end-1);
        return;
      end
    end
    fclear(fid);
    pause(0.005);
  end
end
