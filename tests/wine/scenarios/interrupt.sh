scenario_interrupt() { # ARCH SIM
  local a=$1 s=$2
  local log=${s}_log
  log=${!log}
  # Ctrl-C 300 ms into a read that would wait for ever (T = 0) and into one
  # that would wait 51 s (T = 1000): each ends with its message at once.
  local t
  for t in 0 1000; do
    rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:$t" 'interrupt 300 linkPeek 1 $h'
    check "$a T=$t: Ctrl-C ends linkPeek" raised mexlink:interrupted 'Error: read interrupted by Ctrl-C' -- "$block"
    check "$a T=$t: ... 300 ms in, within a wait slice: $ms ms" in_range "$ms" 290 800 -- "took $ms ms"
    rcall 'interrupt 300 linkState 2 $h'
    check "$a T=$t: Ctrl-C ends linkState" raised mexlink:interrupted 'Error: read interrupted by Ctrl-C' -- "$block"
    check "$a T=$t: ... 300 ms in, within a wait slice: $ms ms" in_range "$ms" 290 800 -- "took $ms ms"
    # The port is still attached with its own time-outs: a write reaches
    # the wire and a read waits by T again.
    rcall 'linkSend 0 $h d:1 d:2 d:3'
    check "$a T=$t: the port works after Ctrl-C" wait_log "$log" 'mailbox 1: 105 111 117' -- "$block"
    : >"$log"
    if [ "$t" = 1000 ]; then
      sim_ctl "$s" send 41 42
      rcall 'linkPeek 1 $h'
      check "$a T=$t: ... and a read ends T after the last byte again: $ms ms" in_range "$ms" 900 3000 -- \
        "took $ms ms" "$block"
    fi
    rcall 'linkDetach 0 $h'
  done
}
