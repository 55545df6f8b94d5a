function varargout = stderr(varargin)
  [varargout{1:nargout}] = octave_only('stderr', 'MATLAB writes to file id 2', varargin{:});
end
