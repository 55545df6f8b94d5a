function s = summarize(x)
% Median, 90th percentile (nearest rank), minimum and count of the finite
% samples in x.
  x = sort(x(isfinite(x)));
  s.n = numel(x);
  if s.n == 0
    s.median = NaN; s.p90 = NaN; s.min = NaN;
    return;
  end
  s.median = median(x);
  s.p90 = x(max(1, ceil(0.9 * s.n)));
  s.min = x(1);
end
