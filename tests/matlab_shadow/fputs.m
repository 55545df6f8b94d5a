function varargout = fputs(varargin)
  [varargout{1:nargout}] = octave_only('fputs', 'MATLAB has fprintf', varargin{:});
end
