function varargout = glob(varargin)
  [varargout{1:nargout}] = octave_only('glob', 'MATLAB has dir', varargin{:});
end
