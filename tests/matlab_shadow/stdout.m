function varargout = stdout(varargin)
  [varargout{1:nargout}] = octave_only('stdout', 'MATLAB writes to file id 1', varargin{:});
end
