function varargout = columns(varargin)
  [varargout{1:nargout}] = octave_only('columns', 'MATLAB has size(x, 2)', varargin{:});
end
