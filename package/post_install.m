function post_install(desc)
% Octave reads the help of a plug-in from the .m file of the same name in the
% plug-in's own folder, but pkg puts .m files and plug-ins in different
% folders: the help texts join the plug-ins, with the private/ folder they
% call into.
  found = glob(fullfile(desc.archprefix, '*', '*.mex'));
  if isempty(found)
    error('mexlink: the built commands are not under %s', desc.archprefix);
  end
  plugins = fileparts(found{1});
  if strcmp(canonicalize_file_name(plugins), canonicalize_file_name(desc.dir))
    return;
  end
  for k = 1:numel(found)
    [~, command] = fileparts(found{k});
    [ok, msg] = movefile(fullfile(desc.dir, [command '.m']), plugins);
    if ~ok
      error('mexlink: moving the help of %s: %s', command, msg);
    end
  end
  [ok, msg] = movefile(fullfile(desc.dir, 'private'), plugins);
  if ~ok
    error('mexlink: moving the private folder of the help texts: %s', msg);
  end
end
