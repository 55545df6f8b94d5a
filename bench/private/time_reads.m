function r = time_reads(readSeq, n)
% N timed calls of READSEQ, which reads one status frame and returns its
% sequence number.
  r.seq = zeros(n, 1);
  r.stop = zeros(n, 1);
  r.wall = zeros(n, 1);
  r.cpu = zeros(n, 1);
  for k = 1:n
    c0 = cputime();
    t0 = time();
    seq = readSeq();
    t1 = time();
    r.cpu(k) = cputime() - c0;
    r.seq(k) = seq;
    r.stop(k) = t1;
    r.wall(k) = t1 - t0;
  end
end
