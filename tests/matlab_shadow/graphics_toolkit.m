function varargout = graphics_toolkit(varargin)
  [varargout{1:nargout}] = octave_only('graphics_toolkit', 'MATLAB has no graphics toolkits', varargin{:});
end
