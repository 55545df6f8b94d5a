function run_all(testdir)
% RUN_ALL  Runs every test_*.m file of TESTDIR with Octave's test function
%   and ends with the line "N passed, N failed"; exits 1 on any failure.
  files = dir(fullfile(testdir, 'test_*.m'));
  passed = 0; total = 0;
  for k = 1:numel(files)
    file = fullfile(testdir, files(k).name);
    printf('%s\n', files(k).name);
    [n, nmax] = test(file, 'quiet', stdout);
    printf('  %d of %d passed\n', n, nmax);
    passed += n; total += nmax;
  end
  printf('%d passed, %d failed\n', passed, total - passed);
  if passed ~= total || total == 0
    exit(1);
  end
end
