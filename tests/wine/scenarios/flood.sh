scenario_flood() { # ARCH
  local a=$1
  rcall "h = linkAttach 1 s:COM6 d:115200 d:8 d:0 d:20"
  check "$a attach COM6 (flooding controller)" grep -qx ok <<<"$block" -- "$block"
  rcall 'linkState 2 $h'
  expect_failure "$a linkState on a line that never pauses" linkState mexlink:neverPaused "Error: the serial line never paused"
  check "$a ... gives up after the 2 s drain limit: $ms ms" in_range "$ms" 1900 5000 -- "took $ms ms"
  rcall 'linkDetach 0 $h'
  check "$a detach the flooded port" grep -qx ok <<<"$block" -- "$block"
}
