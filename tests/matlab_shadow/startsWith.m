function varargout = startsWith(varargin)
  [varargout{1:nargout}] = octave_only('startsWith', 'came with MATLAB R2016b, after R2015b', varargin{:});
end
