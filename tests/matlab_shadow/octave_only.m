function varargout = octave_only(name, reason, varargin)
% OCTAVE_ONLY  Body of the shadows in this folder. Each shadows a function
%   that MATLAB (R2015b, the oldest release the toolbox and examples support)
%   lacks: called from a file of toolbox/ or examples/ it raises
%   mexlink:octaveOnly, from anywhere else (Octave's own library, the tests)
%   it passes the call on to Octave's own function.
  stack = dbstack('-completenames');
  if numel(stack) >= 3 && matlab_facing(stack(3).file)
    error('mexlink:octaveOnly', '%s (%s line %d) is not MATLAB code: %s', ...
          name, stack(3).file, stack(3).line, reason);
  end
  if exist(name, 'builtin')
    [varargout{1:nargout}] = builtin(name, varargin{:});
  else
    [varargout{1:nargout}] = feval(original(name), varargin{:});
  end
end

function yes = matlab_facing(file)
  % A file of toolbox/ or examples/ (or a copy of one, as the build tests
  % make): its path ends like one of the checkout's own MATLAB-facing files.
  % Builtins only until the path matches: library functions would call the
  % shadows again.
  tail = regexp(file, '[\\/]((toolbox|examples)([\\/]private)?[\\/][^\\/]+\.m)$', 'tokens', 'once');
  if isempty(tail)
    yes = false;
    return;
  end
  root = regexprep(mfilename('fullpath'), '[\\/]tests[\\/]matlab_shadow[\\/]octave_only$', '');
  yes = exist([root '/' tail{1}], 'file') == 2;
end

function fn = original(name)
  % Octave's own m-file function, by a handle taken while this folder is off
  % the path.
  persistent handles
  if isempty(handles)
    handles = struct();
  end
  if ~isfield(handles, name)
    here = regexprep(mfilename('fullpath'), '[\\/]octave_only$', '');
    saved = path();
    state = warning('off', 'Octave:shadowed-function');
    rmpath(here);
    handles.(name) = str2func(name);
    path(saved);
    warning(state);
  end
  fn = handles.(name);
end
