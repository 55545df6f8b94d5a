function varargout = isargout(varargin)
  [varargout{1:nargout}] = octave_only('isargout', 'MATLAB has no such function', varargin{:});
end
