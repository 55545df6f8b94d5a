function h = sim_attach(sim, varargin)
% SIM_ATTACH  attach_quietly to the simulator SIM (from sim_start):
%   sim_attach(sim), sim_attach(sim, timeoutMs), or with all of linkAttach's
%   numbers, sim_attach(sim, baudRate, byteSize, parity, timeoutMs). On TCP
%   the simulator listens again only once it has seen its last client go,
%   so an attach right after a detach may be refused: that refusal is
%   retried, for 2 s at most.
  args = {115200, 8, 0, 5};
  if numel(varargin) == 1
    args{4} = varargin{1};
  elseif ~isempty(varargin)
    args = varargin;
  end
  t0 = tic;
  while true
    try
      evalc('h = linkAttach(sim.port, args{:});');
      return;
    catch err
      if ~strcmp(err.identifier, 'mexlink:openFailed') || toc(t0) > 2
        rethrow(err);
      end
      pause(0.002);
    end
  end
end
