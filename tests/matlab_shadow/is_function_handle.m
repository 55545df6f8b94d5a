function varargout = is_function_handle(varargin)
  [varargout{1:nargout}] = octave_only('is_function_handle', 'MATLAB has isa(f, ''function_handle'')', varargin{:});
end
