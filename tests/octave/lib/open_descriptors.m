function n = open_descriptors()
% OPEN_DESCRIPTORS  Number of descriptors this Octave process has open.
  n = numel(readdir(sprintf('/proc/%d/fd', getpid())));
end
