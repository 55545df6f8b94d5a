function varargout = print_usage(varargin)
  [varargout{1:nargout}] = octave_only('print_usage', 'MATLAB has no such function', varargin{:});
end
