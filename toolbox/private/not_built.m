function not_built(stub)
% NOT_BUILT  Raised by the file STUB (a full path) that stands for a command
%   until it is built: the built command beside it is what MATLAB and Octave
%   run, unless its folder is the current one, which comes first on the path.
  [folder, name] = fileparts(stub);
  if strcmp(pwd(), folder)
    error('mexlink:notBuilt', ['%s: the current folder is toolbox/, whose help files stand in ' ...
          'for the commands there: cd elsewhere (and run mexlink_build once)'], name);
  end
  error('mexlink:notBuilt', '%s is not built yet: run mexlink_build (see README)', name);
end
