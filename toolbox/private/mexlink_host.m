function host = mexlink_host()
% MEXLINK_HOST  What mexlink_build needs to know of the program it runs in:
%   isOctave, release ([major minor] of MATLAB's version number, 9.4 being
%   R2018a), compiler ('msvc', 'gnu' or 'clang': the C++ compiler mex is set
%   up for), platform ('windows', 'linux' or 'generic', as in
%   core/sources.txt) and mexext.
  host.isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  host.release = sscanf(version(), '%d.%d').';
  host.mexext = mexext();
  if ispc
    host.platform = 'windows';
  elseif isunix && ~ismac && isLinux()
    host.platform = 'linux';
  else
    host.platform = 'generic';
  end
  host.compiler = 'gnu';
  if host.isOctave
    return;
  end
  config = mex.getCompilerConfigurations('C++', 'Selected');
  if isempty(config)
    error('mexlink:noCompiler', 'mexlink_build: no C++ compiler is set up for mex; run: mex -setup C++');
  end
  if strncmpi(config(1).Manufacturer, 'Microsoft', 9)
    host.compiler = 'msvc';
  elseif ~isempty(strfind(lower([config(1).Name ' ' config(1).ShortName]), 'clang'))
    host.compiler = 'clang';
  end
end

function tf = isLinux()
  % MATLAB says GLNXA64, Octave the GNU triplet (x86_64-pc-linux-gnu).
  arch = computer();
  tf = strncmp(arch, 'GLNX', 4) || ~isempty(strfind(lower(arch), 'linux'));
end
