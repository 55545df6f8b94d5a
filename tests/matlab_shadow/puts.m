function varargout = puts(varargin)
  [varargout{1:nargout}] = octave_only('puts', 'MATLAB has fprintf', varargin{:});
end
