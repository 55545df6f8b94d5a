function h = attach_quietly(port, timeoutMs)
% ATTACH_QUIETLY  linkAttach with 115200 8N and the given time-out, without
%   its diagnostic lines in the test output.
  if nargin < 2, timeoutMs = 5; end
  evalc('h = linkAttach(port, 115200, 8, 0, timeoutMs);');
end
