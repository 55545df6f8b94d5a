function T = example_timeout(T)
% EXAMPLE_TIMEOUT  The read time-out T (ms) an example passes to linkAttach:
%   T when given, else the environment variable MEXLINK_T, else 5, which
%   suits a cable (a USB adapter or a Bluetooth link needs more: see "The
%   read time-out T" in README.md, or measure it with linkProbe).
  if isempty(T)
    T = str2double(getenv('MEXLINK_T'));
  end
  if isnan(T)
    T = 5;
  end
end
