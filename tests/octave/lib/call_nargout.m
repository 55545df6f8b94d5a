function call_nargout(nout, fn, varargin)
% CALL_NARGOUT  Calls FN(VARARGIN{:}) asking for NOUT outputs.
  if nout == 0
    fn(varargin{:});
  else
    out = cell(1, nout);
    [out{:}] = fn(varargin{:});
  end
end
