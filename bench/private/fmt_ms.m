function s = fmt_ms(seconds)
% Seconds as milliseconds with two decimals, for the report tables.
  s = sprintf('%.2f', 1000 * seconds);
end
