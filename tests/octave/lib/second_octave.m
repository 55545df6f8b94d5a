function [status, out] = second_octave(script)
% SECOND_OCTAVE  Runs SCRIPT in a second Octave with the plug-ins and this
%   library on its path; returns its exit status and what it printed.
  file = [tempname() '.m'];
  fid = fopen(file, 'w');
  fputs(fid, script);
  fclose(fid);
  paths = sprintf('--path %s --path %s', fileparts(which('linkAttach')), fileparts(mfilename('fullpath')));
  [status, out] = system(sprintf('octave-cli --norc --no-history --no-window-system %s --eval "source(''%s'')" 2>&1', ...
                                 paths, file));
  unlink(file);
end
