function varargout = isfolder(varargin)
  [varargout{1:nargout}] = octave_only('isfolder', 'came with MATLAB R2017b, after R2015b', varargin{:});
end
