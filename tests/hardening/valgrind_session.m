function valgrind_session()
% VALGRIND_SESSION  A short session of every command against the simulator,
%   successes and failures, for a run of Octave under valgrind memcheck:
%   attach, run, gains, send, state, peek, halt, a busy and a missing port,
%   detach, then every call of tests/argument_checks.txt, a never-pausing
%   line and a hang-up.
%   Ends with "valgrind session: N calls" only when every call behaved.
  calls = 0;
  before = open_descriptors();

  sim = sim_start('--period', '20');
  h = attach_quietly(sim.port, 5);
  linkRun(h, 'balance');
  linkGains(h, 10, 20, 30);
  linkSend(h, 1, -1, 0.5);
  pause(0.3);
  [values, isShort] = linkState(h);
  assert(size(values), [7 1]);
  assert(any(isShort == [0 1]));
  evalc('bytes = linkPeek(h);');
  assert(size(bytes), [7 1]);
  linkHalt(h);
  calls += 8;

  % Refused attaches: the port is busy, missing, or no terminal.
  checks = {
    @() linkAttach(sim.port, 115200, 8, 0, 5), 'Error: opening the serial port', 'mexlink:portBusy';
    @() linkAttach('/dev/mexlink-missing', 115200, 8, 0, 5), 'Error: serial port does not exist', 'mexlink:noSuchPort';
    @() linkAttach('/dev/null', 115200, 8, 0, 5), 'Error: setting serial port state', '';
  };
  for k = 1:rows(checks)
    assert_error_ends(checks{k, 1}, checks{k, 2}, checks{k, 3});
  end
  detach_quietly(h);
  calls += rows(checks) + 1;

  % Every argument check of every command, as tests/argument_checks.txt lists them.
  calls += check_argument_table(sim);
  sim_stop(sim);

  % A line that never pauses (T = 0: a slow reader under valgrind must not
  % take a scheduling gap for a pause), then one that hangs up.
  sim = sim_start('--fault', 'stream');
  h = attach_quietly(sim.port, 0);
  linkRun(h, 'drive');
  pause(0.2);
  assert_error_ends(@() linkState(h), 'Error: the serial line never paused');
  linkHalt(h);
  detach_quietly(h);
  sim_stop(sim);
  calls += 5;

  sim = sim_start();
  h = attach_quietly(sim.port, 5);
  sim_send(sim, 'hangup');
  assert_error_ends(@() linkPeek(h), 'Error: could not read from serial port', 'mexlink:readFailed');
  assert_error_ends(@() linkGains(h, 1, 2, 3), 'Error: could not write to serial port', 'mexlink:writeFailed');
  detach_quietly(h);
  sim_stop(sim);
  calls += 4;

  assert(open_descriptors(), before);
  printf('valgrind session: %d calls\n', calls);
end
