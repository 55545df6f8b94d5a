function n = count_log_lines(logFile, pattern)
% Number of simulator log lines matching the regular expression `pattern`.
  n = numel(regexp(fileread(logFile), ['(?m)' pattern], 'start'));
end
