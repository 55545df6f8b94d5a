function child = waiting_octave(port, timeoutMs, call)
% WAITING_OCTAVE  A second Octave that attaches PORT with TIMEOUTMS and runs
%   CALL (an expression of h, e.g. 'linkPeek(h)'); returned once CALL waits
%   in the kernel for the port (Linux's wchan). child.in, child.out and
%   child.pid are its pipes and process; child.cleanup ends it, whatever
%   happened. When CALL ends, the child prints the message it ended with (or
%   'returned') and 'ended TIME', sends setpoints 1, 2, 3 through the same
%   handle and prints 'done'. A signal that ends the child leaves no
%   octave-workspace behind.
  plugins = fileparts(which('linkAttach'));
  lib = fileparts(mfilename('fullpath'));
  script = sprintf(['sighup_dumps_octave_core(false); sigterm_dumps_octave_core(false);' ...
                    'h = attach_quietly(''%s'', %d); disp(''ready''); fflush(stdout);' ...
                    'try, evalc(''%s;''); disp(''returned''); catch err, disp(err.message); end;' ...
                    'printf(''ended %%.6f\\n'', time()); fflush(stdout);' ...
                    'linkSend(h, 1, 2, 3); detach_quietly(h); disp(''done''); fflush(stdout);'], ...
                   port, timeoutMs, call);
  [child.in, child.out, child.pid] = popen2('octave-cli', {'--norc', '--no-history', '--no-window-system', ...
                                                           '--path', plugins, '--path', lib, '--eval', script});
  child.cleanup = onCleanup(@() finish(child.in, child.out, child.pid));
  assert(strcmp(read_line(child.out, 30), 'ready'), 'the second Octave did not attach');
  waiting = tic;
  while isempty(strfind(fileread(sprintf('/proc/%d/wchan', child.pid)), 'poll_schedule_timeout'))
    assert(toc(waiting) < 30, 'the second Octave never waited for the port');
    pause(0.01);
  end
  pause(0.1);
end

function finish(in, out, pid)
  fclose(in);
  fclose(out);
  % Ended already and reaped: nothing to stop.
  if exist(sprintf('/proc/%d', pid), 'dir')
    kill(pid, 9);
    waitpid(pid);
  end
end
