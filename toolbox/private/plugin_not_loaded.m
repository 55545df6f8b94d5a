function plugin_not_loaded(stub)
% PLUGIN_NOT_LOADED  Raised by the help file STUB (its full path, as
%   mfilename('fullpath') gives it) when it runs instead of the plug-in of
%   the same name, which MATLAB and Octave prefer wherever they can load it:
%   names the likely cause from the files beside it. It needs nothing but
%   itself in private/ beside the help files, wherever they are copied.
  [folder, name] = fileparts(stub);
  plugin = [name '.' mexext()];
  if exist(fullfile(folder, plugin), 'file')
    error('mexlink:notLoaded', ['%s: %s is in %s but did not load: Windows or an antivirus ' ...
          'may block it, or a library it needs is missing (see "Invalid MEX-file" in the README)'], ...
          name, plugin, folder);
  end
  % Plug-ins are named NAME.mex followed by letters and digits naming the
  % platform (.mexw64, .mexa64, ...); a copy such as NAME.mexw64.bak is not one.
  listing = dir(fullfile(folder, [name '.mex*']));
  for k = 1:numel(listing)
    found = lower(listing(k).name);
    if isempty(regexp(found, '^\w+\.mex[a-z0-9]*$', 'once'))
      continue;
    end
    % A release folder's plug-ins are for MATLAB on Windows; any other host
    % builds its own.
    if isempty(regexp(plugin, '\.mexw(32|64)$', 'once'))
      error('mexlink:wrongArchitecture', ['%s: %s holds %s, a plug-in for another architecture; ' ...
            'this session loads %s: build the commands for it with mexlink_build (see README)'], ...
            name, folder, listing(k).name, plugin);
    end
    error('mexlink:wrongArchitecture', ['%s: %s holds %s, a plug-in for another architecture; ' ...
          'this session loads %s: add the folder built for it to the path instead ' ...
          '(computer(''arch'') tells which)'], name, folder, listing(k).name, plugin);
  end
  % In toolbox/ the help files come first on the path when it is the
  % current folder, before the plug-ins mexlink_build put elsewhere.
  if strcmp(pwd(), folder) && exist(fullfile(folder, 'mexlink_build.m'), 'file')
    error('mexlink:notBuilt', ['%s: the current folder is toolbox/, whose help files stand in ' ...
          'for the commands there: cd elsewhere (and run mexlink_build once)'], name);
  end
  error('mexlink:notBuilt', '%s is not built yet: run mexlink_build (see README)', name);
end
