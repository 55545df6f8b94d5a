function [message, seconds] = interrupted_call(port, timeoutMs, call)
% INTERRUPTED_CALL  Ctrl-C during a call that waits. A second Octave attaches
%   PORT with TIMEOUTMS, starts CALL (an expression of h, e.g. 'linkPeek(h)')
%   and gets SIGINT once it waits in the kernel for the port (Linux's wchan).
%   Returns the message the call ended with and how long it took to end after
%   the signal. The child then sends setpoints 1, 2, 3 through the same
%   handle, to show the port still works.
  plugins = fileparts(which('linkAttach'));
  lib = fileparts(mfilename('fullpath'));
  script = sprintf(['h = attach_quietly(''%s'', %d); disp(''ready''); fflush(stdout);' ...
                    'try, evalc(''%s;''); disp(''returned''); catch err, disp(err.message); end;' ...
                    'printf(''ended %%.6f\\n'', time()); fflush(stdout);' ...
                    'linkSend(h, 1, 2, 3); detach_quietly(h); disp(''done''); fflush(stdout);'], ...
                   port, timeoutMs, call);
  [in, out, pid] = popen2('octave-cli', {'--norc', '--no-history', '--no-window-system', ...
                                         '--path', plugins, '--path', lib, '--eval', script});
  cleanup = onCleanup(@() finish(in, out, pid));
  assert(strcmp(read_line(out, 30), 'ready'), 'the second Octave did not attach');
  waiting = tic;
  while isempty(strfind(fileread(sprintf('/proc/%d/wchan', pid)), 'poll_schedule_timeout'))
    assert(toc(waiting) < 30, 'the second Octave never waited for the port');
    pause(0.01);
  end
  pause(0.1);
  sent = time();
  kill(pid, 2);
  message = read_line(out, 60);
  line = read_line(out, 10);
  ended = sscanf(line, 'ended %f');
  assert(~isempty(ended), 'the call did not end: "%s" then "%s"', message, line);
  seconds = ended - sent;
  assert(strcmp(read_line(out, 10), 'done'), 'the port did not work after the interrupt');
end

function finish(in, out, pid)
  fclose(in);
  fclose(out);
  kill(pid, 9);
  waitpid(pid);
end
