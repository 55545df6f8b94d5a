function names = command_names()
% COMMAND_NAMES  The commands: one per source in commands/, in name order.
  files = dir(fullfile(source_root(), 'commands', '*.cpp'));
  names = sort(regexprep({files.name}, '\.cpp$', ''));
end
