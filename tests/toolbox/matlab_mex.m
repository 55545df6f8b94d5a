function mex(varargin)
% MEX  Stand-in for MATLAB's mex in the tests of mexlink_build: takes only
%   what MATLAB's mex takes (options, NAME=VALUE settings, existing sources
%   and objects), refuses what it refuses (an unknown option, two API
%   options, an -outdir that does not exist), leaves the files it would leave
%   (name.obj for -c, the plug-in otherwise) and records every call in
%   mex_calls.mat beside itself.
  api = {'-R2017b', '-R2018a', '-largeArrayDims', '-compatibleArrayDims'};
  plain = [api, {'-c', '-v', '-g', '-O', '-n'}];
  outdir = pwd();
  output = '';
  inputs = {};
  k = 1;
  while k <= nargin
    a = varargin{k};
    if any(strcmp(a, {'-outdir', '-output'}))
      if k == nargin, error('mex: %s needs a value', a); end
      if strcmp(a, '-outdir'), outdir = varargin{k + 1}; else, output = varargin{k + 1}; end
      k += 2;
      continue;
    end
    if any(strncmp(a, {'-I', '-L'}, 2))
      if ~isfolder(a(3:end)), error('mex: no folder %s', a(3:end)); end
    elseif a(1) == '-' && ~(strncmp(a, '-l', 2) && numel(a) > 2) && ~any(strcmp(a, plain))
      error('mex: unknown option %s', a);
    elseif a(1) ~= '-' && isempty(regexp(a, '^[A-Z_]+=', 'once'))
      if ~isfile(a), error('mex: no file %s', a); end
      inputs{end + 1} = a;
    end
    k += 1;
  end
  if ~isfolder(outdir), error('mex: no folder %s', outdir); end
  if sum(ismember(varargin, api)) > 1, error('mex: more than one API option'); end
  if isempty(inputs), error('mex: nothing to build'); end
  [~, name] = fileparts(inputs{1});
  if any(strcmp(varargin, '-c'))
    made = fullfile(outdir, [name '.obj']);
  else
    if isempty(output), output = name; end
    made = fullfile(outdir, [output '.' mexlink_host().mexext]);
  end
  fclose(fopen(made, 'w'));

  record = fullfile(fileparts(mfilename('fullpath')), 'mex_calls.mat');
  calls = {};
  if isfile(record), calls = load(record).calls; end
  calls{end + 1} = varargin;
  save(record, 'calls');
end
