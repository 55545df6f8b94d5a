% The Octave package: made by scripts/make_package.sh (or the archive named
% by MEXLINK_PACKAGE, as the release test passes it), installed into a
% temporary prefix, loaded, used against the simulated controller and
% uninstalled again, leaving the global package list as it was.
%!shared source, names
%! source = getenv('MEXLINK_SOURCE_DIR');
%! names = command_names();

%!function text = file_or_empty(file)
%!  text = '';
%!  if exist(file, 'file'), text = fileread(file); end
%!endfunction

%!test
%! version = strtrim(fileread(fullfile(source, 'VERSION')));
%! dist = tempname();
%! archive = getenv('MEXLINK_PACKAGE');
%! if isempty(archive)
%!   [status, out] = system(sprintf('bash %s/scripts/make_package.sh %s', source, dist));
%!   assert(status, 0, out);
%!   archive = fullfile(dist, sprintf('mexlink-%s.tar.gz', version));
%!   assert(strtrim(out), archive);
%! end
%! assert(regexp(archive, ['mexlink-' regexptranslate('escape', version) '\.tar\.gz$'], 'once') > 0, archive);
%! [status, listing] = system(['tar tzf ' archive]);
%! assert(status, 0);
%! top = sprintf('mexlink-%s/', version);
%! for f = [{'DESCRIPTION', 'COPYING', 'INDEX', 'src/Makefile', 'inst/mexlink.m'}, ...
%!          strcat('inst/', names, '.m'), strcat('src/commands/', names, '.cpp')]
%!   assert(~isempty(regexp(listing, ['(^|\n)' regexptranslate('escape', [top f{1}]) '\n'], 'once')), f{1});
%! end
%!
%! prefix = tempname();
%! mkdir(prefix);
%! global_list = file_or_empty(pkg('global_list'));
%! pkg('prefix', fullfile(prefix, 'share'), fullfile(prefix, 'arch'));
%! pkg('local_list', fullfile(prefix, 'list'));
%! unwind_protect
%!   evalc('pkg(''install'', ''-local'', archive);');
%!   installed = pkg('list', 'mexlink');
%!   assert(numel(installed), 1);
%!   assert(installed{1}.version, version);
%!   listed = ver('mexlink');
%!   assert({listed.Name, listed.Version}, {'mexlink', version});
%!   assert(~isempty(regexp(evalc('ver'), ['\n\s*mexlink\s+\|\s+' regexptranslate('escape', version) '\s+\|'], 'once')));
%!   assert(strncmp(installed{1}.dir, prefix, numel(prefix)));
%!   assert(exist('linkAttach'), 0);   % not before pkg load
%!
%!   pkg load mexlink
%!   plugins = fileparts(which('linkAttach'));
%!   assert(strncmp(plugins, prefix, numel(prefix)), plugins);
%!   for k = 1:numel(names)
%!     [text, format] = get_help_text(names{k});
%!     assert(format, 'plain text');
%!     assert(~isempty(strfind(text, [names{k} '('])), names{k});
%!   end
%!   assert(~isempty(strfind(evalc('help linkState'), '[values, isShort] = linkState(h)')));
%!   assert_error_ends(@() linkHalt(), 'Error: one input arguments required');
%!   session_check(plugins);
%!   % The help files find what they call into where the package put them.
%!   peek = fullfile(plugins, 'linkPeek.mex');
%!   movefile(peek, [peek '.away']);
%!   rehash();
%!   assert_error_ends(@() linkPeek(), 'linkPeek is not built yet: run mexlink_build (see README)', 'mexlink:notBuilt');
%!   movefile([peek '.away'], peek);
%!   rehash();
%!
%!   evalc('pkg uninstall -local mexlink');
%!   assert(isempty(pkg('list', 'mexlink')));
%!   for k = 1:numel(names)
%!     assert(exist(names{k}), 0, names{k});
%!   end
%!   assert(~exist(installed{1}.dir, 'dir'));
%!   assert(~exist(plugins, 'dir'));
%! unwind_protect_cleanup
%!   confirm_recursive_rmdir(false, 'local');
%!   if exist(dist, 'dir'), rmdir(dist, 's'); end
%!   rmdir(prefix, 's');
%! end_unwind_protect
%! assert(file_or_empty(pkg('global_list')), global_list);
