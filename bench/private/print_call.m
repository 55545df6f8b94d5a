function x = print_call(name, d)
% One row of a per-call table, in microseconds; returns the summary.
  x = summarize(d);
  printf('  %-34s %9.1f %9.1f %9.1f %6d\n', name, 1e6 * x.median, 1e6 * x.p90, 1e6 * x.min, x.n);
end
