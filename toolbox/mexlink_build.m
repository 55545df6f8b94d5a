function outdir = mexlink_build(outdir, varargin)
%MEXLINK_BUILD  Compile the mexlink commands for this MATLAB or Octave.
%
%   mexlink_build
%   mexlink_build(outdir)
%   mexlink_build(outdir, option, ...)
%   outdir = mexlink_build(...)
%
%   Compiles the commands (linkAttach ... linkPeek) with the mex command of
%   the MATLAB or Octave it runs in, puts them with their help texts into one
%   folder and adds that folder to the front of the path (for later sessions
%   too: savepath, or addpath in startup.m).
%
%   outdir   folder for the plug-ins; default: mex_<mexext> beside the
%            toolbox folder, e.g. mex_mexa64 (MATLAB, Linux), mex_mexw64
%            (MATLAB, Windows), mex_mexmaca64 (MATLAB, Apple silicon),
%            mex_mex (Octave). Created if missing.
%   option   passed to every mex call, e.g. '-v' to show the compiler
%            commands or '-g' for debugging symbols.
%
%   Needs a C++11 compiler that mex is set up for. MATLAB: mex -setup C++
%   (the MinGW-w64 add-on, GCC 4.9.2 and later; Visual Studio 2015 or
%   later; Xcode; g++ 4.8.1 or later on Linux); Octave: the compiler Octave
%   was built with, e.g. g++ from liboctave-dev on Debian. In MATLAB, C++11
%   is asked for (-std=c++11) of every compiler but Visual Studio, which has
%   no such switch and accepts C++11 by default. The plug-ins take the link
%   flags core/sources.txt names for the platform (on Linux: librt, where
%   clock_gettime lives before glibc 2.17, and libdl). In MATLAB the
%   plug-ins are built for the API of MATLAB's 64-bit array sizes (-R2017b,
%   or -largeArrayDims before R2018a).
%   The serial code compiled in depends on the platform: the Win32 one on
%   Windows, the POSIX one elsewhere (core/sources.txt lists the files).
%
%   Call the commands from any current folder but toolbox/ itself: there
%   the files that stand for them before they are built come first.
%
%   The toolbox runs in MATLAB R2015b and later, and in GNU Octave.
%
%   Example
%     addpath('/path/to/mexlink/toolbox'); mexlink_build
%     h = linkAttach('/dev/ttyUSB0', 115200, 8, 0, 5);
%     linkDetach(h);
%
%   See also mex, mexext, addpath, mexlink.

  here = fileparts(mfilename('fullpath'));
  root = fileparts(here);
  coredir = fullfile(root, 'core');
  cmddir = fullfile(root, 'commands');
  if ~exist(fullfile(coredir, 'sources.txt'), 'file') || ~exist(cmddir, 'dir') || ~exist(fullfile(root, 'VERSION'), 'file')
    error('mexlink:noSources', 'mexlink_build: the sources (core/, commands/, VERSION) are not in %s', root);
  end
  host = mexlink_host();
  if nargin < 1 || isempty(outdir)
    outdir = fullfile(root, ['mex_' host.mexext]);
  end
  if ~exist(outdir, 'dir')
    [ok, msg] = mkdir(outdir);
    if ~ok, error('mexlink:outdirFailed', 'mexlink_build: cannot create %s: %s', outdir, msg); end
  end
  outdir = absolutePath(outdir);

  listing = dir(fullfile(cmddir, '*.cpp'));
  commands = regexprep({listing.name}, '\.cpp$', '');
  [core, platformLinkFlags] = platformSources(fullfile(coredir, 'sources.txt'), host.platform);
  [compileFlags, linkFlags] = hostFlags(host, coredir, platformLinkFlags);
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
    fprintf('mexlink_build: compiling core%s\n', sprintf('/%s', core{k}{:}));
    objects{k} = compileObject(host, fullfile(coredir, core{k}{:}), objdir, compileFlags);
  end
  for k = 1:numel(commands)
    fprintf('mexlink_build: building %s.%s\n', commands{k}, host.mexext);
    linkCommand(host, fullfile(cmddir, [commands{k} '.cpp']), objects, outdir, commands{k}, linkFlags);
  end

  % The help texts go beside the plug-ins (help reads linkX.m, calls run
  % linkX.<mexext>), with what they run when a plug-in did not load and
  % Contents.m: the layout scripts/copy_help_files.sh gives ready-made folders.
  if ~strcmp(absolutePath(here), outdir)
    for name = [commands, {'mexlink'}]
      copyfile(fullfile(here, [name{1} '.m']), outdir);
    end
    if ~exist(fullfile(outdir, 'private'), 'dir')
      mkdir(fullfile(outdir, 'private'));
    end
    copyfile(fullfile(here, 'private', 'plugin_not_loaded.m'), fullfile(outdir, 'private'));
  end
  writeContents(fullfile(here, 'Contents.m.in'), fullfile(root, 'VERSION'), fullfile(outdir, 'Contents.m'));
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

function [sources, linkFlags] = platformSources(listFile, platform)
  % The files of core/sources.txt whose line names this platform, each as
  % its path's parts (for fullfile), and the link flags (lines that start
  % with "-") it names.
  lines = regexp(fileread(listFile), '\r?\n', 'split');
  sources = {};
  linkFlags = {};
  for k = 1:numel(lines)
    words = strsplit(strtrim(lines{k}));
    if isempty(words{1}) || words{1}(1) == '#' || ~any(strcmp(words(2:end), platform))
      continue;
    end
    if words{1}(1) == '-'
      linkFlags{end + 1} = words{1};
    else
      sources{end + 1} = strsplit(words{1}, '/');
    end
  end
end

function [compileFlags, linkFlags] = hostFlags(host, coredir, linkExtras)
  include = ['-I' coredir];
  if host.isOctave
    % Octave is itself C++11 or later and sets up the compiler mkoctfile
    % runs for that (its configure adds the switch a compiler needs).
    compileFlags = {include};
    linkFlags = [compileFlags, linkExtras];
    return;
  end
  % Name the API: a later change of mex's default must not change which entry
  % points the plug-ins bind to.
  if host.release(1) > 9 || (host.release(1) == 9 && host.release(2) >= 4)
    api = '-R2017b';
  else
    api = '-largeArrayDims';
  end
  compileFlags = {api, include};
  % The sources are C++11: asked for on top of the option file's flags, it
  % lifts a compiler whose default is older (GCC before 6 defaults to C++98)
  % and lets no later construct slip in with one whose default is newer.
  % Visual Studio has no C++11 switch; its default (2015 and later) accepts it.
  if ~strcmp(host.compiler, 'msvc')
    compileFlags{end + 1} = 'CXXFLAGS=$CXXFLAGS -std=c++11';
  end
  % mex takes libraries as -lNAME; any other flag goes to the linker through
  % LDFLAGS.
  linkFlags = compileFlags;
  libraries = {};
  others = '';
  for k = 1:numel(linkExtras)
    if strncmp(linkExtras{k}, '-l', 2)
      libraries{end + 1} = linkExtras{k};
    else
      others = [others ' ' linkExtras{k}];
    end
  end
  if ~isempty(others)
    linkFlags{end + 1} = ['LDFLAGS=$LDFLAGS' others];
  end
  linkFlags = [linkFlags, libraries];
end

function object = compileObject(host, source, objdir, flags)
  [~, name] = fileparts(source);
  if host.isOctave
    object = fullfile(objdir, [name '.o']);
    mex('-c', flags{:}, source, '-o', object);
    return;
  end
  mex('-c', flags{:}, source, '-outdir', objdir);
  found = [dir(fullfile(objdir, [name '.o'])); dir(fullfile(objdir, [name '.obj']))];
  if isempty(found)
    error('mexlink:noObject', 'mexlink_build: mex left no object file for %s in %s', source, objdir);
  end
  object = fullfile(objdir, found(1).name);
end

function linkCommand(host, source, objects, outdir, name, flags)
  if host.isOctave
    mex(flags{:}, source, objects{:}, '-o', fullfile(outdir, [name '.' host.mexext]));
  else
    mex(flags{:}, source, objects{:}, '-outdir', outdir, '-output', name);
  end
end

function writeContents(template, versionFile, target)
  % Contents.m, for ver and help on the folder: the version from VERSION, the
  % date of the build.
  lines = regexp(fileread(versionFile), '\r?\n', 'split');
  text = regexprep(fileread(template), {'@VERSION@', '@DATE@'}, {strtrim(lines{1}), date()});
  fid = fopen(target, 'w');
  if fid < 0
    error('mexlink:outdirFailed', 'mexlink_build: cannot write %s', target);
  end
  fprintf(fid, '%s', text);
  fclose(fid);
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
