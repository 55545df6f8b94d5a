function varargout = printf(varargin)
  [varargout{1:nargout}] = octave_only('printf', 'MATLAB has fprintf', varargin{:});
end
