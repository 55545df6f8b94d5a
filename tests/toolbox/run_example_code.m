function [example__printed, example__vars, example__err] = run_example_code(example__code, example__port)
% RUN_EXAMPLE_CODE  Runs CODE, an example from a help text or the README, in
%   a workspace of its own with the port names the texts use ('/dev/ttyUSB0',
%   'COM3', 'COM5', the zip's simulator 'socket://127.0.0.1:26741') replaced
%   by PORT. Returns what it printed, its variables and the
%   error that ended it (empty if none). An example must detach what it
%   attached: a handle h left attached is detached and raises an error.
  example__code = regexprep(example__code, '''(/dev/ttyUSB0|COM3|COM5|socket://127\.0\.0\.1:26741)''', ['''' example__port '''']);
  example__err = [];
  example__printed = evalc(sprintf('try\n%s\ncatch example__err\nend', example__code));
  example__vars = struct();
  for example__name = who().'
    if ~strncmp(example__name{1}, 'example__', 9)
      example__vars.(example__name{1}) = eval(example__name{1});
    end
  end
  if isfield(example__vars, 'h') && isa(example__vars.h, 'uint32')
    example__left = '';
    try
      detach_quietly(example__vars.h);
    catch example__detach
      example__left = example__detach.identifier;
    end
    if ~strcmp(example__left, 'mexlink:notAttached')
      error('run_example_code: the example left its port attached:\n%s', example__code);
    end
  end
end
