function outdir = mexlink_build(outdir, varargin)
%MEXLINK_BUILD  Compile the mexlink commands for this MATLAB or Octave.
%   mexlink_build
%   mexlink_build(outdir)
%   mexlink_build(outdir, option, ...)
%   outdir = mexlink_build(...)
%
%   Compiles the eight commands (linkAttach ... linkPeek) with the mex
%   command of the MATLAB or Octave it runs in, puts them with their help
%   texts into one folder and adds that folder to the front of the path
%   (for later sessions too: savepath, or addpath in startup.m).
%
%   outdir   folder for the plug-ins; default: mex_<mexext> beside the
%            toolbox folder, e.g. mex_mexa64 (MATLAB, Linux), mex_mexw64
%            (MATLAB, Windows), mex_mexmaca64 (MATLAB, Apple silicon),
%            mex_mex (Octave). Created if missing.
%   option   passed to every mex call, e.g. '-v' to show the compiler
%            commands or '-g' for debugging symbols.
%
%   Needs a C++17 compiler that mex is set up for (MATLAB: mex -setup C++;
%   Octave: the compiler Octave was built with, e.g. g++ from
%   liboctave-dev on Debian). The serial code compiled in depends on the
%   platform: the Win32 one on Windows, the POSIX one with the Linux or the
%   generic terminal extras elsewhere.
%
%   Call the commands from any current folder but toolbox/ itself: there
%   its help files come first and would be run instead.
%
%   Example
%     addpath('/path/to/mexlink/toolbox'); mexlink_build
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%
%   See also mex, mexext, addpath, Contents.

  here = fileparts(mfilename('fullpath'));
  root = fileparts(here);
  coredir = fullfile(root, 'core');
  cmddir = fullfile(root, 'commands');
  if ~exist(fullfile(coredir, 'command_frame.cpp'), 'file') || ~exist(cmddir, 'dir')
    error('mexlink_build: the sources (core/, commands/) are not in %s', root);
  end
  if nargin < 1 || isempty(outdir)
    outdir = fullfile(root, ['mex_' mexext()]);
  end
  if ~exist(outdir, 'dir')
    [ok, msg] = mkdir(outdir);
    if ~ok, error('mexlink_build: cannot create %s: %s', outdir, msg); end
  end
  outdir = absolutePath(outdir);

  commands = {'linkAttach', 'linkDetach', 'linkRun', 'linkHalt', ...
              'linkSend', 'linkGains', 'linkState', 'linkPeek'};
  core = [{'command_frame.cpp', 'status_frames.cpp'}, backendSources()];
  [compileFlags, linkFlags] = hostFlags(coredir);
  compileFlags = [compileFlags, varargin];
  linkFlags = [linkFlags, varargin];

  % Plug-ins still loaded from an earlier build would keep their files busy.
  for k = 1:numel(commands)
    clear(commands{k});
  end

  % The shared code is compiled once and linked into every command.
  objdir = tempname();
  mkdir(objdir);
  removeObjects = onCleanup(@() removeFolder(objdir));
  objects = cell(1, numel(core));
  for k = 1:numel(core)
    fprintf('mexlink_build: compiling core/%s\n', core{k});
    objects{k} = compileObject(fullfile(coredir, core{k}), objdir, compileFlags);
  end
  for k = 1:numel(commands)
    fprintf('mexlink_build: building %s.%s\n', commands{k}, mexext());
    linkCommand(fullfile(cmddir, [commands{k} '.cpp']), objects, outdir, commands{k}, linkFlags);
  end

  % The help texts go beside the plug-ins: help reads linkX.m, calls run linkX.<mexext>.
  if ~strcmp(absolutePath(here), outdir)
    for name = [commands, {'Contents'}]
      copyfile(fullfile(here, [name{1} '.m']), outdir);
    end
  end
  addpath(outdir);
  fprintf('mexlink_build: %d commands in %s (added to the path)\n', numel(commands), outdir);
  if strcmp(absolutePath(pwd()), absolutePath(here))
    warning('mexlink_build:folder', ...
            'mexlink_build: leave %s before calling the commands: its help files would run instead', here);
  end
  if nargout == 0
    clear outdir;
  end
end

function tf = isOctave()
  tf = exist('OCTAVE_VERSION', 'builtin') ~= 0;
end

function sources = backendSources()
  if ispc
    sources = {'serial_win32.cpp'};
  elseif ismac
    sources = {'serial_posix.cpp', 'posix_extras_generic.cpp'};
  elseif isLinux()
    sources = {'serial_posix.cpp', 'posix_extras_linux.cpp', 'posix_extras_linux_glue.cpp'};
  else
    sources = {'serial_posix.cpp', 'posix_extras_generic.cpp'};
  end
end

function tf = isLinux()
  % MATLAB says GLNXA64, Octave the GNU triplet (x86_64-pc-linux-gnu).
  arch = computer();
  tf = isunix && ~ismac && (strncmp(arch, 'GLNX', 4) || ~isempty(strfind(lower(arch), 'linux')));
end

function [compileFlags, linkFlags] = hostFlags(coredir)
  include = ['-I' coredir];
  if isOctave()
    compileFlags = {'-std=c++17', include};
    linkFlags = compileFlags;
    if isLinux()
      % Each plug-in calls its own copy of the shared code, never that of
      % another plug-in loaded before it.
      linkFlags{end + 1} = '-Wl,-Bsymbolic';
    end
    return;
  end
  if ispc && usesMsvc()
    std = 'COMPFLAGS=$COMPFLAGS /std:c++17';
  else
    std = 'CXXFLAGS=$CXXFLAGS -std=c++17';
  end
  compileFlags = {std, include};
  linkFlags = compileFlags;
  if isLinux()
    linkFlags{end + 1} = 'LDFLAGS=$LDFLAGS -Wl,-Bsymbolic';
  end
end

function tf = usesMsvc()
  config = mex.getCompilerConfigurations('C++', 'Selected');
  if isempty(config)
    error('mexlink_build: no C++ compiler is set up for mex; run: mex -setup C++');
  end
  tf = strncmpi(config(1).Manufacturer, 'Microsoft', 9);
end

function object = compileObject(source, objdir, flags)
  [~, name] = fileparts(source);
  if isOctave()
    object = fullfile(objdir, [name '.o']);
    mex('-c', flags{:}, source, '-o', object);
    return;
  end
  mex('-c', flags{:}, source, '-outdir', objdir);
  found = [dir(fullfile(objdir, [name '.o'])); dir(fullfile(objdir, [name '.obj']))];
  if isempty(found)
    error('mexlink_build: mex left no object file for %s in %s', source, objdir);
  end
  object = fullfile(objdir, found(1).name);
end

function linkCommand(source, objects, outdir, name, flags)
  if isOctave()
    mex(flags{:}, source, objects{:}, '-o', fullfile(outdir, [name '.' mexext()]));
  else
    mex(flags{:}, source, objects{:}, '-outdir', outdir, '-output', name);
  end
end

function removeFolder(folder)
  % File by file: a recursive rmdir would ask for confirmation in Octave.
  delete(fullfile(folder, '*'));
  rmdir(folder);
end

function p = absolutePath(p)
  % Through cd, as both MATLAB and Octave resolve a folder the same way there.
  old = cd(p);
  p = pwd();
  cd(old);
end
