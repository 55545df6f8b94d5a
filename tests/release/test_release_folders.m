% The folders of the Windows release as a MATLAB user unpacks them
% (MEXLINK_RELEASE_FOLDER), each alone on Octave's path: help shows every
% command's text from there, Contents.m carries the version, and a call runs
% the help file, whose guard says that the plug-ins beside it are for
% another architecture (Windows), as 64-bit ones say in a 32-bit MATLAB.
%!shared unpacked, names, version
%! unpacked = getenv('MEXLINK_RELEASE_FOLDER');
%! names = command_names();
%! version = strtrim(fileread(fullfile(source_root(), 'VERSION')));

%!function check_folder(unpacked, arch, suffix, names, version)
%!  folder = fullfile(unpacked, arch);
%!  addpath(folder);
%!  here = pwd();
%!  unwind_protect
%!    for k = 1:numel(names)
%!      name = names{k};
%!      printed = evalc(['help ' name]);
%!      assert(~isempty(strfind(printed, fullfile(folder, [name '.m']))), printed);
%!      assert(regexp(get_help_text(name), ['^\s*' upper(name) '  \S'], 'once'), 1, name);
%!      assert_error_ends(@() feval(name), sprintf(['%s: %s holds %s.%s, a plug-in for another architecture; ' ...
%!                        'this session loads %s.mex: build the commands for it with mexlink_build (see README)'], ...
%!                        name, folder, name, suffix, name), 'mexlink:wrongArchitecture');
%!    end
%!    assert(~isempty(strfind(evalc('help mexlink'), fullfile(folder, 'mexlink.m'))));
%!    % MATLAB's ver reads the first two lines of Contents.m; help on the
%!    % folder shows it, in MATLAB and in Octave.
%!    assert(regexp(fileread(fullfile(folder, 'Contents.m')), ...
%!                  ['^% mexlink\n% Version ' regexptranslate('escape', version) ' \d\d-[A-Z][a-z]{2}-\d{4}\n'], 'once'), 1);
%!    cd(unpacked);
%!    printed = evalc(['help ' arch]);
%!    assert(~isempty(strfind(printed, ['Version ' version])), printed);
%!  unwind_protect_cleanup
%!    cd(here);
%!    rmpath(folder);
%!  end_unwind_protect
%!endfunction

%!test check_folder(unpacked, 'win64', 'mexw64', names, version);
%!test check_folder(unpacked, 'win32', 'mexw32', names, version);
