function port = example_port(port)
% EXAMPLE_PORT  The port an example uses: PORT when given, else the
%   environment variable MEXLINK_PORT, else 'COM3' on Windows and
%   /dev/ttyUSB0 elsewhere.
  if isempty(port)
    port = getenv('MEXLINK_PORT');
  end
  if isempty(port) && ispc
    port = 'COM3';
  elseif isempty(port)
    port = '/dev/ttyUSB0';
  end
end
