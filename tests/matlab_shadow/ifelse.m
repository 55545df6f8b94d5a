function varargout = ifelse(varargin)
  [varargout{1:nargout}] = octave_only('ifelse', 'MATLAB has no such function', varargin{:});
end
