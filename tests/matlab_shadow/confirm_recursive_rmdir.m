function varargout = confirm_recursive_rmdir(varargin)
  [varargout{1:nargout}] = octave_only('confirm_recursive_rmdir', 'MATLAB has no such function', varargin{:});
end
