function varargout = fflush(varargin)
  [varargout{1:nargout}] = octave_only('fflush', 'MATLAB has no such function', varargin{:});
end
