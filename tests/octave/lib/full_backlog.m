function listener = full_backlog()
% FULL_BACKLOG  A TCP listener on 127.0.0.1 that takes no connection: its
%   backlog of one is filled by a client of its own, so the kernel drops
%   every further SYN, as a host that never answers. listener.name is its
%   socket://127.0.0.1:PORT; listener.cleanup ends it.
  script = fullfile(fileparts(mfilename('fullpath')), 'silent_listener.py');
  [in, out, pid] = popen2('python3', {script});
  listener.cleanup = onCleanup(@() finish(in, out, pid));
  port = str2double(read_line(out, 10));
  assert(port > 0, 'the listener did not start');
  listener.name = sprintf('socket://127.0.0.1:%d', port);
end

% Killed: it inherits Octave's blocked signals, and programs started since
% may hold its pipes.
function finish(in, out, pid)
  fclose(in);
  fclose(out);
  kill(pid, 9);
  waitpid(pid);
end
