function values = logged_status(sim, seq)
% LOGGED_STATUS  The values linkState returns for status frame SEQ of the
%   simulator's log (SIM from sim_start, or the log file's name): the bytes
%   the simulator sent for it, decoded by status_values. Waits for the
%   frame as sim_log does.
  if ischar(sim), sim = struct('log', sim); end
  lines = sim_log(sim, sprintf('^frame %d ', seq));
  assert(numel(lines) >= 1, 'frame %d is not in the log', seq);
  v = sscanf(lines{end}(7:end), '%d').';
  values = status_values(status_fields(v(2:8)));
end
