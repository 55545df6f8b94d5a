scenario_zero_timeout() { # ARCH SIM
  local a=$1 s=$2
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:0"
  check "$a attach with T=0" grep -qx ok <<<"$block" -- "$block"
  rcall 'linkState 2 $h'
  expect_failure "$a T=0 linkState on a quiet line gives up" linkState mexlink:neverPaused "Error: the serial line never paused"
  check "$a ... after the 2 s drain limit: $ms ms" in_range "$ms" 1500 4500 -- "took $ms ms"
  # The port got its T=0 time-outs back: a read waits for all 50 bytes, even
  # past the drain limit's bound.
  sim_ctl "$s" send "$(seq 1 30 | xargs printf '%02x ')"
  rsend 'linkPeek 1 $h'
  until_call linkPeek
  sleep 2.5
  sim_ctl "$s" send "$(seq 31 50 | xargs printf '%02x ')"
  rwait
  expect "$a T=0 restored: linkPeek waits for 50 bytes" <<'EOF'
call linkPeek
print NumReadBytes: 50
out1 class=uint8 size=7x1 values=44,45,46,47,48,49,50
ok
EOF
  check "$a ... for as long as they take: $ms ms" in_range "$ms" 2000 10000 -- "took $ms ms"
  rcall 'linkDetach 0 $h'
  check "$a detach the T=0 port" grep -qx ok <<<"$block" -- "$block"
}
