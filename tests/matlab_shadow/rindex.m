function varargout = rindex(varargin)
  [varargout{1:nargout}] = octave_only('rindex', 'MATLAB has strfind', varargin{:});
end
