function lines = sim_log(sim, pattern, timeout)
% SIM_LOG  Lines of the simulator's log. With a regular expression, waits up
%   to TIMEOUT seconds (default 2) until at least one line matches and
%   returns only the matching lines.
  if nargin < 3, timeout = 2; end
  t0 = tic;
  while true
    lines = {};
    if exist(sim.log, 'file')
      text = fileread(sim.log);
      lines = strsplit(text, "\n");
      lines = lines(~cellfun(@isempty, lines));
    end
    if nargin < 2, return; end
    matching = lines(~cellfun(@isempty, regexp(lines, pattern, 'once')));
    if ~isempty(matching) || toc(t0) > timeout
      lines = matching;
      return;
    end
    pause(0.02);
  end
end
