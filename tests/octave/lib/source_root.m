function root = source_root()
% SOURCE_ROOT  The checkout these tests belong to.
  root = fileparts(fileparts(fileparts(fileparts(mfilename('fullpath')))));
end
