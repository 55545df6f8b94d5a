function varargout = fdisp(varargin)
  [varargout{1:nargout}] = octave_only('fdisp', 'MATLAB has disp or fprintf', varargin{:});
end
