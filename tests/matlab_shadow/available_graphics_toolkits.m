function varargout = available_graphics_toolkits(varargin)
  [varargout{1:nargout}] = octave_only('available_graphics_toolkits', 'MATLAB has no graphics toolkits', varargin{:});
end
