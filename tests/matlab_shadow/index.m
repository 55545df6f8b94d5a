function varargout = index(varargin)
  [varargout{1:nargout}] = octave_only('index', 'MATLAB has strfind', varargin{:});
end
