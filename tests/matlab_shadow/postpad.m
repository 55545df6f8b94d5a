function varargout = postpad(varargin)
  [varargout{1:nargout}] = octave_only('postpad', 'MATLAB has no such function', varargin{:});
end
