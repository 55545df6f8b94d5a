function [message, seconds] = interrupted_call(port, timeoutMs, call, afterSignal)
% INTERRUPTED_CALL  Ctrl-C during a call that waits: a second Octave
%   (waiting_octave) attaches PORT with TIMEOUTMS, starts CALL and gets SIGINT
%   once it waits for the port. Returns the message the call ended with and
%   how long it took to end after the signal; asserts that the port still
%   worked after it. AFTERSIGNAL, if given, is called right after the signal.
  child = waiting_octave(port, timeoutMs, call);
  sent = time();
  kill(child.pid, 2);
  if nargin > 3, afterSignal(); end
  message = read_line(child.out, 60);
  line = read_line(child.out, 10);
  ended = sscanf(line, 'ended %f');
  assert(~isempty(ended), 'the call did not end: "%s" then "%s"', message, line);
  seconds = ended - sent;
  assert(strcmp(read_line(child.out, 10), 'done'), 'the port did not work after the interrupt');
end
