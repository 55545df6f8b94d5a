function bad_input_matrix(trace)
% BAD_INPUT_MATRIX  Calls every command with every kind of argument in every
%   position, every output count 0..3 and every input count 0..6, against
%   the simulated controller. Each call must return or raise one of the
%   commands' own messages under its identifier (core/frame/messages.hpp);
%   a host error or anything else is printed with the call that caused it.
%   The last line that TRACE (a file, optional) holds names the call in
%   progress, so a crash can be traced. Ends with "calls tried: N" and exits
%   1 on any failure, descriptor leak included.
  if nargin < 1, trace = ''; end
  messages = system_messages();
  printf('%d messages of the commands\n', numel(messages));

  before = open_descriptors();
  ctx.sim = sim_start();
  ctx.spare = sim_start();   % a free port for attaches that may succeed
  % T = 1: a read on a quiet line ends after about 51 ms.
  ctx.h = attach_quietly(ctx.sim.port, 1);
  ctx.messages = messages;
  ctx.trace = -1;
  if ~isempty(trace), ctx.trace = fopen(trace, 'w'); end
  ctx.calls = 0;
  ctx.failures = {};
  ctx.slowest = 0;
  ctx.slowestCall = '';
  % A closed number: what a port handle is once its port was detached.
  stale = attach_quietly(ctx.spare.port, 1);
  detach_quietly(stale);
  ctx.stale = stale;

  commands = command_table();
  kinds = value_kinds();
  t0 = tic;

  % Each position of each command gets each kind, the others valid, with
  % every output count.
  for c = 1:numel(commands)
    cmd = commands(c);
    leaked0 = open_descriptors();
    for pos = 1:cmd.nargs
      for k = 1:numel_kinds(kinds, cmd, pos, ctx)
        for nout = 0:3
          args = valid_args(cmd, ctx);
          [args{pos}, label] = kind_at(kinds, cmd, pos, k, ctx);
          ctx = try_call(ctx, cmd, nout, args, describe(cmd, args, pos, label, nout));
        end
      end
    end
    if open_descriptors() ~= leaked0
      ctx.failures{end + 1} = sprintf('%s: %d descriptors more after its calls', cmd.name, ...
                                      open_descriptors() - leaked0);
    end
  end

  % Input counts 0..6: the valid arguments, then extra ones.
  for c = 1:numel(commands)
    cmd = commands(c);
    for nin = 0:6
      for nout = 0:3
        full = [valid_args(cmd, ctx), {1, 2, 3, 4, 5, 6}];
        args = full(1:nin);
        ctx = try_call(ctx, cmd, nout, args, sprintf('%s with %d inputs, nargout=%d', cmd.name, nin, nout));
      end
    end
  end

  % Mixed calls: every position at once, each valid or a random kind, so
  % that the order of the checks meets combinations. Fixed seed.
  rand('twister', 20240607);
  for n = 1:4000
    cmd = commands(randi(numel(commands)));
    nout = randi(4) - 1;
    nin = cmd.nargs;
    if rand() < 0.15, nin = randi(7) - 1; end
    args = [valid_args(cmd, ctx), {1, 2, 3, 4, 5, 6}];
    args = args(1:nin);
    labels = cell(1, nin);
    for pos = 1:nin
      labels{pos} = 'valid';
      if pos <= cmd.nargs && rand() < 0.6
        [args{pos}, labels{pos}] = kind_at(kinds, cmd, pos, randi(numel_kinds(kinds, cmd, pos, ctx)), ctx);
      end
    end
    ctx = try_call(ctx, cmd, nout, args, ...
                   sprintf('%s(%s) nargout=%d', cmd.name, strjoin(labels, ', '), nout));
  end

  elapsed = toc(t0);
  % Every port still works after all this.
  evalc('linkRun(ctx.h, ''idle''); linkHalt(ctx.h); linkSend(ctx.h, 0, 0, 0); linkState(ctx.h); linkPeek(ctx.h);');
  detach_quietly(ctx.h);
  sim_stop(ctx.sim);
  sim_stop(ctx.spare);
  if ctx.trace >= 0, fclose(ctx.trace); end
  after = open_descriptors();
  if after ~= before
    ctx.failures{end + 1} = sprintf('descriptors: %d before, %d after', before, after);
  end

  % Every failure when there are few, else the first ones and a count per
  % command and outcome.
  shown = min(numel(ctx.failures), 40);
  for k = 1:shown
    printf('FAILED: %s\n', ctx.failures{k});
  end
  if numel(ctx.failures) > shown
    kinds = regexprep(ctx.failures, '^(\w+)[ (].*?: ', '$1: ');
    [groups, ~, index] = unique(kinds);
    printf('... %d more; failures by command and outcome:\n', numel(ctx.failures) - shown);
    for g = 1:numel(groups)
      printf('  %5d  %s\n', sum(index == g), groups{g});
    end
  end
  printf('slowest call: %.3f s (%s)\n', ctx.slowest, ctx.slowestCall);
  printf('calls tried: %d in %.1f s, %d failures\n', ctx.calls, elapsed, numel(ctx.failures));
  if ~isempty(ctx.failures)
    exit(1);
  end
end

function commands = command_table()
% Name, input count, output count allowed, and the shape of a returned value.
  % linkPorts lists this machine's ports, as many as there are.
  ports = numel(linkPorts());
  commands = struct( ...
    'name',   {'linkAttach', 'linkDetach', 'linkRun', 'linkHalt', 'linkSend', 'linkGains', 'linkState', 'linkPeek', ...
               'linkPorts', 'linkProbe'}, ...
    'nargs',  {5, 1, 2, 1, 4, 4, 1, 1, 1, 5}, ...
    'outs',   {{'uint32', [1 1]}, {}, {}, {}, {}, {}, {'double', [7 1], 'int8', [1 1]}, {'uint8', [7 1]}, ...
               {'cell', [ports 1], 'cell', [ports 1]}, {'struct', [1 1]}});
  % A command added to commands/ must get its row here.
  assert(sort({commands.name}), command_names());
  for c = 1:numel(commands)
    commands(c).fn = str2func(commands(c).name);
  end
end

function args = valid_args(cmd, ctx)
  switch cmd.name
    case 'linkAttach', args = {ctx.spare.port, 115200, 8, 0, 1};
    case 'linkRun',    args = {ctx.h, 'idle'};
    case 'linkSend',   args = {ctx.h, 1, 2, 3};
    case 'linkGains',  args = {ctx.h, 10, 20, 30};
    case 'linkPorts',  args = {'/'};
    % The busy port: a call that passes its checks ends there at once, and a
    % value of 1 or 2.7 seconds costs nothing. The free port, among the
    % names tried first, is probed for 0.02 s.
    case 'linkProbe',  args = {ctx.sim.port, 115200, 8, 0, 0.02};
    otherwise,         args = {ctx.h};
  end
end

function kinds = value_kinds()
% Label and value of each kind of argument tried in every position.
  kinds = {
    'double 0', 0; 'double 1', 1; 'double -1', -1; 'double 2.7', 2.7; 'double -0', -0;
    'single 1', single(1); 'single -2.5', single(-2.5);
    'int8 1', int8(1); 'int8 min', intmin('int8'); 'uint8 1', uint8(1); 'uint8 max', intmax('uint8');
    'int16 1', int16(1); 'uint16 1', uint16(1); 'int32 1', int32(1); 'int32 min', intmin('int32');
    'uint32 1', uint32(1); 'uint32 max', intmax('uint32'); 'int64 1', int64(1); 'int64 min', intmin('int64');
    'uint64 1', uint64(1); 'uint64 max', intmax('uint64');
    'logical true', true; 'logical false', false;
    'char row', 'abc'; 'char column', ['a'; 'b'; 'c']; 'char matrix', ['ab'; 'cd']; 'char empty', '';
    'char 1x0', char(zeros(1, 0)); 'char 1x40', repmat('x', 1, 40); 'char with NUL and high bytes', char([97 0 200 255]);
    'char 1x2x2', repmat('a', [1 2 2]);
    'cell', {1}; 'cell empty', {}; 'cell of handle', {uint32(3)};
    'struct', struct('a', 1); 'struct empty', struct([]); 'struct array', struct('a', {1, 2});
    'function handle', @sin; 'object', containers.Map();
    'complex', 1 + 2i; 'complex single', complex(single(1), single(2)); 'complex zero imaginary', complex(1, 0);
    'sparse', sparse(1); 'sparse logical', sparse(true); 'sparse complex', sparse(1 + 1i); 'sparse empty', sparse([]);
    'sparse 0', sparse(0);
    'empty double', []; 'empty 0x3', zeros(0, 3); 'empty 3x0', zeros(3, 0); 'empty single', single([]);
    'empty int8', int8([]); 'empty uint8', uint8([]); 'empty int16', int16([]); 'empty uint16', uint16([]);
    'empty int32', int32([]); 'empty uint32', uint32([]); 'empty int64', int64([]); 'empty uint64', uint64([]);
    'empty logical', logical([]); 'empty 1x0x2', zeros(1, 0, 2);
    'NaN', NaN; 'Inf', Inf; '-Inf', -Inf; 'single NaN', single(NaN); 'single -Inf', single(-Inf);
    '1e300', 1e300; '-1e300', -1e300; '2^31', 2^31; '-2^31-1', -2^31 - 1; '2^32', 2^32; '2^53', 2^53;
    'realmin', realmin; 'realmax', realmax; 'eps', eps;
    'vector row', [1 2 3]; 'vector column', [1; 2; 3]; 'range', 1:3; 'matrix', ones(2);
    'N-d', ones(2, 2, 2); 'int16 N-d', int16(ones(2, 1, 2)); 'logical matrix', true(2);
  };
end

function kinds = handle_kinds(ctx)
% Handle-shaped values built around the current port handle.
  h = ctx.h;
  kinds = {
    'h', h; 'h row', [h h]; 'h column', [h; h]; 'h N-d', repmat(h, [1 1 2]); 'h then junk', [h uint32(987654)];
    'junk then h', [uint32(987654) h]; 'stale handle', ctx.stale; 'uint32 987654', uint32(987654);
    'uint32 0', uint32(0); 'uint32 2', uint32(2); 'uint32 2^31', uint32(2^31);
    'uint32 invalid', uint32(4294967295); 'uint32 1x0', zeros(1, 0, 'uint32');
    'double h', double(h); 'int32 h', int32(h); 'uint64 h', uint64(h); 'single h', single(h);
    'char h', char(double(h) + 48); 'cell h', {h}; 'struct h', struct('h', h);
  };
end

function kinds = port_name_kinds(ctx)
% Names tried as the port of linkAttach and linkProbe: the free port in odd
% shapes and other paths.
  p = ctx.spare.port;
  kinds = {
    'spare port', p; 'port column', p.'; 'port twice', [p; p]; 'port with NUL', [p char(0) 'x'];
    'port with trailing space', [p ' ']; 'busy port', ctx.sim.port; 'missing', '/dev/mexlink-missing';
    'directory', tempdir(); 'not a terminal', '/dev/null'; 'relative', 'mexlink-port';
  };
end

function n = numel_kinds(kinds, cmd, pos, ctx)
  n = rows(kinds) + extra_count(cmd, pos, ctx);
end

function n = extra_count(cmd, pos, ctx)
  n = 0;
  if pos == 1 && takes_port_name(cmd)
    n = rows(port_name_kinds(ctx));
  elseif pos == 1
    n = rows(handle_kinds(ctx));
  end
end

function yes = takes_port_name(cmd)
  yes = any(strcmp(cmd.name, {'linkAttach', 'linkProbe'}));
end

function [value, label] = kind_at(kinds, cmd, pos, k, ctx)
% Kind K for argument POS: the position's own kinds come first.
  extra = extra_count(cmd, pos, ctx);
  if k <= extra
    if takes_port_name(cmd)
      own = port_name_kinds(ctx);
    else
      own = handle_kinds(ctx);
    end
    value = own{k, 2};
    label = own{k, 1};
  else
    value = kinds{k - extra, 2};
    label = kinds{k - extra, 1};
  end
end

function text = describe(cmd, args, pos, label, nout)
  parts = repmat({'valid'}, 1, numel(args));
  parts{pos} = ['<' label '>'];
  text = sprintf('%s(%s) nargout=%d', cmd.name, strjoin(parts, ', '), nout);
end

function ctx = try_call(ctx, cmd, nout, args, what)
% One call. A success is checked for the outputs it returned; an error must
% be one of the commands' messages (after Octave's "name: " prefix).
  ctx.calls += 1;
  if ctx.trace >= 0
    fprintf(ctx.trace, '%s\n', what);
    fflush(ctx.trace);
  end
  fn = cmd.fn;
  outs = cell(1, nout);
  ok = false;
  msg = '';
  id = '';
  t0 = tic;
  if nout == 0
    printed = evalc('try; fn(args{:}); ok = true; catch err; msg = err.message; id = err.identifier; end');
  else
    printed = evalc('try; [outs{:}] = fn(args{:}); ok = true; catch err; msg = err.message; id = err.identifier; end');
  end
  elapsed = toc(t0);
  if elapsed > ctx.slowest
    ctx.slowest = elapsed;
    ctx.slowestCall = what;
  end

  if ok
    problem = output_problem(cmd, outs);
    if ~isempty(problem)
      ctx.failures{end + 1} = sprintf('%s: %s', what, problem);
    end
  else
    prefix = [cmd.name ': '];
    if strncmp(msg, prefix, numel(prefix))
      text = msg(numel(prefix) + 1:end);
    else
      text = msg;
    end
    % linkSend and linkGains accept one output and never set it: the message
    % telling so is the host's, after the telegram went out.
    unsetOutput = nout == 1 && any(strcmp(cmd.name, {'linkSend', 'linkGains'})) ...
        && any(strcmp(msg, {'value on right hand side of assignment is undefined', ...
                            'element number 1 undefined in return list'}));
    if ~any(strcmp(text, {ctx.messages.text}) & strcmp(id, {ctx.messages.id})) && ~unsetOutput
      ctx.failures{end + 1} = sprintf('%s: host error "%s" (%s)', what, msg, id);
    end
  end
  ctx = settle(ctx, cmd, ok, printed, what);
end

function problem = output_problem(cmd, outs)
  problem = '';
  for k = 1:numel(outs)
    if 2 * k > numel(cmd.outs)
      problem = sprintf('output %d returned beyond the command''s outputs', k);
      return;
    end
    want = cmd.outs{2 * k - 1};
    shape = cmd.outs{2 * k};
    if ~isa(outs{k}, want) || ~isequal(size(outs{k}), shape)
      problem = sprintf('output %d is %s %s, not %s %s', k, class(outs{k}), mat2str(size(outs{k})), ...
                        want, mat2str(shape));
      return;
    end
  end
end

function ctx = settle(ctx, cmd, ok, printed, what)
% Undoes what a successful call changed: an attach is detached, a detach of
% the working port is followed by a new attach.
  if ~ok
    return;
  end
  switch cmd.name
    case 'linkAttach'
      got = regexp(printed, '\*hSerial: (\d+)', 'tokens', 'once');
      if isempty(got)
        ctx.failures{end + 1} = sprintf('%s: no handle printed', what);
        return;
      end
      try
        detach_quietly(uint32(str2double(got{1})));
      catch err
        ctx.failures{end + 1} = sprintf('%s: detaching the new port: %s', what, err.message);
      end
    case 'linkDetach'
      if ~port_alive(ctx.h)
        ctx.h = attach_quietly(ctx.sim.port, 1);
      end
  end
end

function alive = port_alive(h)
  try
    evalc('linkSend(h, 0, 0, 0);');
    alive = true;
  catch
    alive = false;
  end
end
