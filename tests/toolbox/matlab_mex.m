function mex(varargin)
% MEX  Stand-in for MATLAB's mex in the tests of mexlink_build, for the
%   MATLAB that mexlink_host describes. It takes only what that mex takes:
%   options it knows (-R2017b and -R2018a only from R2018a on, where they
%   came in), NAME=VALUE settings, -I/-L of existing folders,
%   -l libraries, existing sources, objects and libraries; it refuses an
%   unknown option or file type, two API options, an -outdir that does not
%   exist. It leaves the files mex would leave (name.obj on Windows, name.o
%   elsewhere, for -c; the plug-in otherwise) and records in mex_calls.mat,
%   beside itself, each call's arguments and what they set:
%     api         the API option, '' for mex's default
%     flags       the option file's variables after the settings, each $NAME
%                 standing for the option file's own value as '<NAME>'
%     ignored     settings of variables the compiler's option file does not
%                 read (mex accepts them; they change nothing)
%     libraries   the -l names
  host = mexlink_host();
  api = {'-largeArrayDims', '-compatibleArrayDims'};
  if releaseAtLeast(host.release, [9 4]), api = [api, {'-R2017b', '-R2018a'}]; end
  plain = [api, {'-c', '-v', '-g', '-O', '-n'}];
  % The variables each option file reads.
  if strcmp(host.compiler, 'msvc')
    variables = {'COMPFLAGS', 'OPTIMFLAGS', 'LINKFLAGS', 'LINKOPTIMFLAGS', 'LINKLIBS'};
  else
    variables = {'CFLAGS', 'CXXFLAGS', 'COPTIMFLAGS', 'CXXOPTIMFLAGS', 'LDFLAGS', 'LDOPTIMFLAGS', 'LINKLIBS'};
  end
  call = struct('args', {varargin}, 'api', '', 'flags', struct(), 'ignored', {{}}, 'libraries', {{}});
  outdir = pwd();
  output = '';
  inputs = {};
  k = 1;
  while k <= nargin
    a = varargin{k};
    setting = regexp(a, '^([A-Z_]+)=(.*)$', 'tokens', 'once');
    if any(strcmp(a, {'-outdir', '-output'}))
      if k == nargin, error('mex: %s needs a value', a); end
      if strcmp(a, '-outdir'), outdir = varargin{k + 1}; else, output = varargin{k + 1}; end
      k += 2;
      continue;
    elseif ~isempty(setting)
      [name, value] = setting{:};
      if any(strcmp(name, variables))
        value = regexprep(value, '\$(\w+)', '<$1>');
        call.flags.(name) = value;
      else
        call.ignored{end + 1} = a;
      end
    elseif any(strncmp(a, {'-I', '-L'}, 2))
      if ~isfolder(a(3:end)), error('mex: no folder %s', a(3:end)); end
    elseif any(strcmp(a, plain))
      if any(strcmp(a, api)), call.api = a; end
    elseif strncmp(a, '-l', 2) && numel(a) > 2
      call.libraries{end + 1} = a(3:end);
    elseif a(1) == '-'
      error('mex: unknown option %s', a);
    else
      if ~isfile(a), error('mex: no file %s', a); end
      [~, ~, ext] = fileparts(a);
      if ~any(strcmpi(ext, {'.c', '.cpp', '.cxx', '.cc', '.o', '.obj', '.a', '.lib'}))
        error('mex: unknown file type %s', a);
      end
      inputs{end + 1} = a;
    end
    k += 1;
  end
  if ~isfolder(outdir), error('mex: no folder %s', outdir); end
  if sum(ismember(varargin, api)) > 1, error('mex: more than one API option'); end
  if isempty(inputs), error('mex: nothing to build'); end
  [~, name] = fileparts(inputs{1});
  if any(strcmp(varargin, '-c'))
    object = '.o';
    if strcmp(host.platform, 'windows'), object = '.obj'; end
    made = fullfile(outdir, [name object]);
  else
    if isempty(output), output = name; end
    made = fullfile(outdir, [output '.' host.mexext]);
  end
  fclose(fopen(made, 'w'));

  record = fullfile(fileparts(mfilename('fullpath')), 'mex_calls.mat');
  calls = {};
  if isfile(record), calls = load(record).calls; end
  calls{end + 1} = call;
  save(record, 'calls');
end

function tf = releaseAtLeast(release, wanted)
  tf = release(1) > wanted(1) || (release(1) == wanted(1) && release(2) >= wanted(2));
end
