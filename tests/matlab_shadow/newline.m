function varargout = newline(varargin)
  [varargout{1:nargout}] = octave_only('newline', 'came with MATLAB R2016b, after R2015b', varargin{:});
end
