function varargout = canonicalize_file_name(varargin)
  [varargout{1:nargout}] = octave_only('canonicalize_file_name', 'MATLAB has no such function', varargin{:});
end
