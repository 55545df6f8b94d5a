function replies = sim_send(sim, varargin)
% SIM_SEND  Gives the simulator control commands ('send 01 02', 'frame',
%   'hangup', 'winsize 24 80 640 480'), one by one, each answered with 'ok'.
%   Returns the lines answered before the 'ok's (a cell array of strings).
  [status, out] = simulator_script('send', sim.dir, varargin{:});
  if status ~= 0
    error('sim_send: %s', out);
  end
  replies = strsplit(out, "\n");
  replies = replies(~cellfun(@isempty, replies));
end
