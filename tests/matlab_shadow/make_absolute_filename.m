function varargout = make_absolute_filename(varargin)
  [varargout{1:nargout}] = octave_only('make_absolute_filename', 'MATLAB has no such function', varargin{:});
end
