function varargout = rows(varargin)
  [varargout{1:nargout}] = octave_only('rows', 'MATLAB has size(x, 1)', varargin{:});
end
