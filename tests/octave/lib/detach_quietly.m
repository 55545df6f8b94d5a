function detach_quietly(h)
% DETACH_QUIETLY  linkDetach without its line in the test output.
  evalc('linkDetach(h);');
end
