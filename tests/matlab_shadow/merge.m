function varargout = merge(varargin)
  [varargout{1:nargout}] = octave_only('merge', 'MATLAB has no such function', varargin{:});
end
