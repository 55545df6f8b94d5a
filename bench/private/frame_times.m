function [seq, t] = frame_times(logFile)
% Sequence numbers and wall-clock times (s) of the frames a simulator started
% with --log-times wrote to its log, in log order.
  text = fileread(logFile);
  tok = regexp(text, '(?m)^frame (\d+) [^\n]* t=(\d+\.\d+)$', 'tokens');
  seq = zeros(numel(tok), 1);
  t = zeros(numel(tok), 1);
  for k = 1:numel(tok)
    seq(k) = str2double(tok{k}{1});
    t(k) = str2double(tok{k}{2});
  end
end
