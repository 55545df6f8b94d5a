function [status, out] = simulator_script(varargin)
% SIMULATOR_SCRIPT  Runs scripts/simulator.sh, the one launcher of the
%   simulator, with the given words: [status, out] = simulator_script('send',
%   dir, 'frame'). Returns its exit status and what it printed (its stderr
%   too, which says why it failed).
  words = [{fullfile(source_root(), 'scripts', 'simulator.sh')}, varargin];
  quoted = cellfun(@(w) ["'" strrep(w, "'", "'\\''") "'"], words, 'UniformOutput', false);
  [status, out] = system(['bash ' strjoin(quoted, ' ') ' 2>&1']);
end
