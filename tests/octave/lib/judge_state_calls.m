function [verdict, age] = judge_state_calls(c, logFile)
% JUDGE_STATE_CALLS  Each call of STATE_CALLS judged against the log of the
%   simulator (run with --log-times) by the sequence number the frame holds:
%     'right'  the newest frame whose last byte had gone out when it returned,
%              with the values the simulator sent for it
%     'stale'  an older frame, with the right values
%     'short'  isShort = 1
%     'wrong'  isShort = 0 and values no frame the simulator sent had (a
%              frame cut by the read)
%     'error'  linkState raised an error
%   and the frame's age at return in seconds, from the controller's send
%   (NaN but for right and stale).
  [values, made, sent] = logged_frames(logFile);
  n = numel(c.stop);
  verdict = cell(1, n);
  age = NaN(1, n);
  for k = 1:n
    if c.failed(k)
      verdict{k} = 'error';
    elseif c.isShort(k)
      verdict{k} = 'short';
    else
      seq = c.values(1, k);
      if seq < 1 || seq > size(values, 2) || any(abs(c.values(:, k) - values(:, seq)) > 1e-9)
        verdict{k} = 'wrong';
        continue;
      end
      % The returned frame counts as newest when its own stamp came after
      % the return (the simulator stamps after its write).
      newest = sent.seq(find(sent.at <= c.stop(k), 1, 'last'));
      verdict{k} = 'right';
      if ~isempty(newest) && seq < newest
        verdict{k} = 'stale';
      end
      age(k) = c.stop(k) - made(seq);
    end
  end
end

% What linkState returns for each frame the log names (a column per sequence
% number) and when the controller sent it; when each frame's last byte went
% out, in the order they went.
function [values, made, sent] = logged_frames(logFile)
  text = fileread(logFile);
  frames = regexp(text, '(?m)^frame (\d+) ([-\d ]+) t=(\d+\.\d+)$', 'tokens');
  values = NaN(7, numel(frames));
  made = NaN(1, numel(frames));
  for k = 1:numel(frames)
    seq = str2double(frames{k}{1});
    values(:, seq) = status_values(status_fields(sscanf(frames{k}{2}, '%d').'));
    made(seq) = str2double(frames{k}{3});
  end
  assert(size(values, 2) < 65536, 'sequence numbers past 16 bits');
  lines = regexp(text, '(?m)^sent (\d+) t=(\d+\.\d+)$', 'tokens');
  sent.seq = cellfun(@(l) str2double(l{1}), lines);
  sent.at = cellfun(@(l) str2double(l{2}), lines);
end
