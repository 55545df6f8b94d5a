function varargout = isfile(varargin)
  [varargout{1:nargout}] = octave_only('isfile', 'came with MATLAB R2017b, after R2015b', varargin{:});
end
