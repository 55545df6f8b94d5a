function T = check_link_probe(preset, P, T, seconds, calls)
% CHECK_LINK_PROBE  linkProbe and the read rule on a link preset of the
%   simulator. T = check_link_probe(PRESET, P, T, SECONDS, CALLS) starts the
%   simulator with --link PRESET and a program sending a frame every P ms.
%   T 'probe': linkProbe listens for SECONDS and must find the 23-byte
%   frames and a safe T, which it returns and the calls then use; T 'none':
%   it must say no T is safe and name what to change; T a number: the calls
%   use it. The CALLS linkState calls (none for 0), each after a random pause
%   of 0 to P ms, must return no wrong values (isShort = 0 with values no
%   frame had), raise no error, and be short in 1% at most. Raises an error
%   on the first failed assertion.
  more off;
  rand('seed', P);
  sim = sim_start('--link', preset, '--seed', '3', '--log-times', '--period', sprintf('%d', P), '--autostart', ...
                  'drive');
  stop = onCleanup(@() sim_stop(sim));
  pause(0.3);   % the packet link's latency: the first frames arrive
  if ischar(T)
    printed = evalc('info = linkProbe(sim.port, 115200, 8, 0, seconds);');
    printf('%s, a frame every %d ms, probed for %g s:\n%s', preset, P, seconds, printed);
    assert(info.frames >= 0.8 * seconds * 1000 / P - 2, 'too few frames: %d', info.frames);
    assert(info.frameBytes, 23);
    if strcmp(T, 'none')
      assert(isempty(info.recommendedT) && isempty(info.safeT), 'a T was found safe');
      assert(~isempty(strfind(info.advice, 'send less often')), 'the advice: %s', info.advice);
      T = [];
      return;
    end
    assert(numel(info.recommendedT) == 1, 'no T was found safe');
    assert(info.recommendedT >= info.safeT(1) && info.recommendedT <= info.safeT(2));
    T = info.recommendedT;
  end
  if calls == 0
    return;
  end
  evalc('h = linkAttach(sim.port, 115200, 8, 0, T);');
  try
    linkState(h);   % what piled up meanwhile
  catch
  end
  c = state_calls(h, calls, P);
  detach_quietly(h);
  verdict = judge_state_calls(c, sim.log);
  count = @(what) nnz(strcmp(verdict, what));
  printf('%s, a frame every %d ms, T = %d ms: %d calls in %.0f s, %d right, %d stale, %d short, %d wrong, %d errors\n', ...
         preset, P, T, calls, c.stop(end) - c.start(1), count('right'), count('stale'), count('short'), ...
         count('wrong'), count('error'));
  assert(count('wrong'), 0);
  assert(count('error'), 0);
  assert(count('short') <= calls / 100);
end
