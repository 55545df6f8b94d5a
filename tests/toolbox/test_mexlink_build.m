% mexlink_build: builds the commands with Octave's mex from a copy of the
% sources, into its default folder, with their help, and they drive the
% simulated controller.
%!shared source, names
%! source = getenv('MEXLINK_SOURCE_DIR');
%! names = {'linkAttach', 'linkDetach', 'linkRun', 'linkHalt', ...
%!          'linkSend', 'linkGains', 'linkState', 'linkPeek'};

%!function copy_tree(source, tree, parts)
%!  for k = 1:numel(parts)
%!    mkdir(fullfile(tree, parts{k}));
%!    assert(copyfile(fullfile(source, parts{k}, '*'), fullfile(tree, parts{k})));
%!  end
%!endfunction

%!test
%! tree = tempname();
%! copy_tree(source, tree, {'toolbox', 'core', 'commands'});
%! addpath(fullfile(tree, 'toolbox'));
%! unwind_protect
%!   printed = evalc('outdir = mexlink_build();');
%!   expected = fullfile(canonicalize_file_name(tree), ['mex_' mexext()]);
%!   assert(outdir, expected);
%!   assert(~isempty(strfind(printed, sprintf('8 commands in %s', expected))), printed);
%!   assert(strsplit(path(), pathsep()){2}, expected);   % right after "."
%!   for k = 1:numel(names)
%!     assert(isfile(fullfile(outdir, [names{k} '.mex'])), names{k});
%!     assert(~isempty(strfind(get_help_text(names{k}), [names{k} '('])), names{k});
%!   end
%!   assert(isfile(fullfile(outdir, 'Contents.m')));
%!   % Compiled objects stay out of the tree.
%!   assert(isempty(glob(fullfile(tree, '*', '*.o'))));
%!   session_check(outdir);
%! unwind_protect_cleanup
%!   rmpath(fullfile(tree, 'toolbox'));
%!   if exist('outdir', 'var'), rmpath(outdir); end
%!   confirm_recursive_rmdir(false, 'local');
%!   rmdir(tree, 's');
%! end_unwind_protect

%!test
%! % A copy of the toolbox folder alone has nothing to build from.
%! tree = tempname();
%! copy_tree(source, tree, {'toolbox'});
%! addpath(fullfile(tree, 'toolbox'));
%! unwind_protect
%!   assert_error_ends(@() mexlink_build(tempname()), ...
%!                     sprintf('the sources (core/, commands/) are not in %s', tree));
%! unwind_protect_cleanup
%!   rmpath(fullfile(tree, 'toolbox'));
%!   confirm_recursive_rmdir(false, 'local');
%!   rmdir(tree, 's');
%! end_unwind_protect
