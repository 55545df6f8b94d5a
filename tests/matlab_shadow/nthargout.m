function varargout = nthargout(varargin)
  [varargout{1:nargout}] = octave_only('nthargout', 'MATLAB has no such function', varargin{:});
end
