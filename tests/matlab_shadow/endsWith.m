function varargout = endsWith(varargin)
  [varargout{1:nargout}] = octave_only('endsWith', 'came with MATLAB R2016b, after R2015b', varargin{:});
end
