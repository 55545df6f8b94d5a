% mexlink_build: builds the commands with Octave's mex from a copy of the
% sources, into its default folder, with their help, and they drive the
% simulated controller.
%!shared source, names
%! source = getenv('MEXLINK_SOURCE_DIR');
%! names = command_names();

%!function copy_tree(source, tree, parts)
%!  % VERSION and the folders PARTS of the checkout.
%!  for k = 1:numel(parts)
%!    mkdir(fullfile(tree, parts{k}));
%!    assert(copyfile(fullfile(source, parts{k}, '*'), fullfile(tree, parts{k})));
%!  end
%!  assert(copyfile(fullfile(source, 'VERSION'), tree));
%!endfunction

%!function remove_tree(tree, built)
%!  % Takes the copied tree, and the folder a build put on the path, away again.
%!  rmpath(fullfile(tree, 'toolbox'));
%!  if built
%!    real = canonicalize_file_name(tree);
%!    for p = strsplit(path(), pathsep())
%!      if strncmp(p{1}, tree, numel(tree)) || strncmp(p{1}, real, numel(real)), rmpath(p{1}); end
%!    end
%!  end
%!  confirm_recursive_rmdir(false, 'local');
%!  rmdir(tree, 's');
%!endfunction

%!test
%! % As its help's example has it, with the copy's folder for /path/to/mexlink
%! % and the simulator's port: the build, then an attach.
%! tree = tempname();
%! copy_tree(source, tree, {'toolbox', 'core', 'commands'});
%! addpath(fullfile(tree, 'toolbox'));
%! sim = sim_start();
%! stop = onCleanup(@() sim_stop(sim));
%! unwind_protect
%!   example = help_examples(fullfile(tree, 'toolbox', 'mexlink_build.m'));
%!   assert(numel(example), 1);
%!   [printed, ~, err] = run_example_code(strrep(example{1}, '/path/to/mexlink', tree), sim.port);
%!   assert(isempty(err), printed);
%!   expected = fullfile(canonicalize_file_name(tree), ['mex_' mexext()]);
%!   outdir = expected;
%!   assert(~isempty(strfind(printed, sprintf('%d commands in %s', numel(names), expected))), printed);
%!   assert(~isempty(regexp(printed, '\*hSerial: \d+\nopenSerial: Successful!\ncloseSerial: Successful!\n$', 'once')), printed);
%!   assert(strsplit(path(), pathsep()){2}, expected);   % right after "."
%!   for k = 1:numel(names)
%!     assert(isfile(fullfile(outdir, [names{k} '.mex'])), names{k});
%!     assert(~isempty(strfind(get_help_text(names{k}), [names{k} '('])), names{k});
%!   end
%!   assert(isfile(fullfile(outdir, 'mexlink.m')));
%!   assert(isfile(fullfile(outdir, 'private', 'plugin_not_loaded.m')));
%!   version = strtrim(fileread(fullfile(source, 'VERSION')));
%!   assert(regexp(fileread(fullfile(outdir, 'Contents.m')), ...
%!                 ['^% mexlink\n% Version ' regexptranslate('escape', version) ' \d\d-[A-Z][a-z]{2}-\d{4}\n'], 'once'), 1);
%!   % Compiled objects stay out of the tree.
%!   assert(isempty(glob(fullfile(tree, '*', '*.o'))));
%!   session_check(outdir);
%! unwind_protect_cleanup
%!   remove_tree(tree, true);
%! end_unwind_protect

%!test
%! % A copy of the toolbox folder (and VERSION) alone has nothing to build
%! % from, and its commands say they are not built yet.
%! tree = tempname();
%! copy_tree(source, tree, {'toolbox'});
%! addpath(fullfile(tree, 'toolbox'));
%! unwind_protect
%!   assert_error_ends(@() mexlink_build(tempname()), ...
%!                     sprintf('the sources (core/, commands/, VERSION) are not in %s', tree), 'mexlink:noSources');
%!   for k = 1:numel(names)
%!     assert_error_ends(@() feval(names{k}), [names{k} ' is not built yet: run mexlink_build (see README)'], ...
%!                       'mexlink:notBuilt');
%!   end
%!   % With toolbox/ as the current folder they name that as the cause.
%!   here = cd(fullfile(tree, 'toolbox'));
%!   back = onCleanup(@() cd(here));
%!   try
%!     linkAttach('/dev/null', 115200, 8, 0, 5);
%!   catch err
%!   end
%!   assert(err.identifier, 'mexlink:notBuilt');
%!   assert(err.message, ['linkAttach: the current folder is toolbox/, whose help files stand in ' ...
%!                        'for the commands there: cd elsewhere (and run mexlink_build once)']);
%! unwind_protect_cleanup
%!   remove_tree(tree, false);
%! end_unwind_protect

%!test
%! % Help files copied elsewhere with their private/ folder, as every folder
%! % of plug-ins holds them, name why they ran instead of the plug-in: the
%! % plug-ins beside them are for another architecture, or there are none.
%! folder = tempname();
%! [status, out] = system(sprintf('bash %s/scripts/copy_help_files.sh %s', source, folder));
%! assert(status, 0, out);
%! fclose(fopen(fullfile(folder, 'linkRun.mexw32'), 'w'));
%! addpath(folder);
%! here = pwd();
%! unwind_protect
%!   assert_error_ends(@() linkRun(), sprintf(['linkRun: %s holds linkRun.mexw32, a plug-in for another ' ...
%!                     'architecture; this session loads linkRun.mex: build the commands for it with ' ...
%!                     'mexlink_build (see README)'], folder), 'mexlink:wrongArchitecture');
%!   assert_error_ends(@() linkHalt(), 'linkHalt is not built yet: run mexlink_build (see README)', 'mexlink:notBuilt');
%!   cd(folder);   % not toolbox/: the current folder is not the cause
%!   assert_error_ends(@() linkHalt(), 'linkHalt is not built yet: run mexlink_build (see README)', 'mexlink:notBuilt');
%! unwind_protect_cleanup
%!   cd(here);
%!   rmpath(folder);
%!   confirm_recursive_rmdir(false, 'local');
%!   rmdir(folder, 's');
%! end_unwind_protect

%!test
%! % A plug-in for this host beside the help file that ran instead of it did
%! % not load. Octave raises its own error for a plug-in it cannot load, so
%! % the guard is called here as that help file calls it.
%! folder = tempname();
%! mkdir(folder);
%! copyfile(fullfile(source, 'toolbox', 'private', 'plugin_not_loaded.m'), folder);
%! fclose(fopen(fullfile(folder, ['linkState.' mexext()]), 'w'));
%! addpath(folder);
%! unwind_protect
%!   assert_error_ends(@() plugin_not_loaded(fullfile(folder, 'linkState')), ...
%!                     sprintf(['linkState: linkState.mex is in %s but did not load: Windows or an antivirus ' ...
%!                              'may block it, or a library it needs is missing (see "Invalid MEX-file" in the README)'], ...
%!                             folder), 'mexlink:notLoaded');
%! unwind_protect_cleanup
%!   rmpath(folder);
%!   confirm_recursive_rmdir(false, 'local');
%!   rmdir(folder, 's');
%! end_unwind_protect

%!function install_stand_in(source, folder, host)
%!  % FOLDER/private gets the stand-in for MATLAB's mex and a mexlink_host
%!  % that describes the MATLAB HOST stands for.
%!  private = fullfile(folder, 'private');
%!  if ~isfolder(private), mkdir(private); end
%!  fid = fopen(fullfile(private, 'mexlink_host.m'), 'w');
%!  fprintf(fid, 'function host = mexlink_host()\n  host = struct(''isOctave'', false, ''release'', [%d %d], ', host.release);
%!  fprintf(fid, '''compiler'', ''%s'', ''platform'', ''%s'', ''mexext'', ''%s'');\nend\n', ...
%!          host.compiler, host.platform, host.mexext);
%!  fclose(fid);
%!  copyfile(fullfile(source, 'tests', 'toolbox', 'matlab_mex.m'), fullfile(private, 'mex.m'));
%!endfunction

%!function calls = build_as_matlab(source, host)
%!  % mexlink_build as it runs in the MATLAB that HOST describes, with the
%!  % stand-in for MATLAB's mex; returns what it recorded of each call.
%!  tree = tempname();
%!  copy_tree(source, tree, {'toolbox', 'core', 'commands'});
%!  install_stand_in(source, fullfile(tree, 'toolbox'), host);
%!  addpath(fullfile(tree, 'toolbox'));
%!  unwind_protect
%!    evalc('outdir = mexlink_build(fullfile(tree, ''out''));');
%!    calls = load(fullfile(tree, 'toolbox', 'private', 'mex_calls.mat')).calls;
%!  unwind_protect_cleanup
%!    remove_tree(tree, exist('outdir', 'var'));
%!  end_unwind_protect
%!endfunction

%!test
%! % In MATLAB: the API named for the release; C++11 asked of every compiler
%! % but Visual Studio (which has no switch for it), on top of the option
%! % file's own flags; the platform's libraries linked (Windows: Winsock,
%! % advapi32 for the registry and SetupAPI; Linux: libdl, libpthread and
%! % librt); the platform's files
%! % compiled once and linked into each command; no setting mex would ignore.
%! windows = {'advapi32', 'setupapi', 'ws2_32'};
%! cases = {[9 4], 'msvc', 'windows', 'mexw64', '-R2017b', windows; ...
%!          [8 6], 'gnu', 'windows', 'mexw32', '-largeArrayDims', windows; ...
%!          [9 3], 'gnu', 'windows', 'mexw64', '-largeArrayDims', windows; ...
%!          [23 2], 'gnu', 'linux', 'mexa64', '-R2017b', {'dl', 'pthread', 'rt'}; ...
%!          [9 11], 'clang', 'generic', 'mexmaca64', '-R2017b', {'pthread'}};
%! listing = strsplit(fileread(fullfile(source, 'core', 'sources.txt')), "\n");
%! for k = 1:rows(cases)
%!   host = cell2struct(cases(k, 1:4), {'release', 'compiler', 'platform', 'mexext'}, 2);
%!   calls = build_as_matlab(source, host);
%!   compiled = {};
%!   for c = 1:numel(calls)
%!     call = calls{c};
%!     what = sprintf('%s on %s: mex %s', host.compiler, host.platform, strjoin(call.args, ' '));
%!     assert(call.api, cases{k, 5}, what);
%!     assert(call.ignored, {}, what);
%!     if strcmp(host.compiler, 'msvc')
%!       assert(isempty(fieldnames(call.flags)), what);
%!     else
%!       assert(call.flags.CXXFLAGS, '<CXXFLAGS> -std=c++11', what);
%!     end
%!     if strcmp(call.args{1}, '-c')
%!       [~, name, ext] = fileparts(call.args{end - 2});
%!       compiled{end + 1} = [name ext];
%!       assert(call.libraries, {}, what);
%!     else
%!       assert(sort(call.libraries), cases{k, 6}, what);
%!       if strcmp(host.platform, 'linux')
%!         assert(call.flags.LDFLAGS, '<LDFLAGS> -Wl,-Bsymbolic', what);
%!       end
%!     end
%!   end
%!   wanted = regexp(listing, ['^(?:\w+/)*(\w+\.cpp)\s.*\<' host.platform '\>'], 'tokens', 'once');
%!   wanted = cellfun(@(t) t{1}, wanted(~cellfun(@isempty, wanted)), 'UniformOutput', false);
%!   assert(sort(compiled), sort(wanted));
%!   assert(numel(calls), numel(wanted) + numel(names));
%! end

%!test
%! % The stand-in refuses what MATLAB's mex refuses: an API option the
%! % release lacks, a bare compiler flag, two API options, a file mex cannot
%! % build from, a missing -outdir.
%! folder = tempname();
%! install_stand_in(source, folder, struct('release', [9 3], 'compiler', 'gnu', 'platform', 'windows', 'mexext', 'mexw64'));
%! fid = fopen(fullfile(folder, 'call_mex.m'), 'w');
%! fprintf(fid, 'function call_mex(varargin)\n  mex(varargin{:});\nend\n');
%! fclose(fid);
%! addpath(folder);
%! unwind_protect
%!   cpp = fullfile(folder, 'a.cpp');
%!   fclose(fopen(cpp, 'w'));
%!   for bad = {{'-R2017b', '-c', cpp}, {'-std=c++11', '-c', cpp}, {'-largeArrayDims', '-compatibleArrayDims', cpp}, ...
%!              {'-c', fullfile(folder, 'call_mex.m')}, {'-c', cpp, '-outdir', tempname()}}
%!     refused = false;
%!     try
%!       call_mex(bad{1}{:});
%!     catch
%!       refused = true;
%!     end
%!     assert(refused, strjoin(bad{1}, ' '));
%!   end
%!   call_mex('-largeArrayDims', '-c', cpp, '-outdir', folder);
%!   assert(isfile(fullfile(folder, 'a.obj')));
%! unwind_protect_cleanup
%!   rmpath(folder);
%!   confirm_recursive_rmdir(false, 'local');
%!   rmdir(folder, 's');
%! end_unwind_protect
