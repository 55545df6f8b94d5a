scenario_stall() { # ARCH SIM
  local a=$1 s=$2
  local pidv=${s}_pid
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20"
  kill -STOP "${!pidv}"
  # Nobody drains the line: once the buffers are full a write must fail
  # after its time-out (2 s + 10 ms a byte), not hang or half succeed.
  local t0=$SECONDS
  rcall 'repeat 100000 linkRun 0 $h s:fifteen_letters'
  local made
  made=$(grep '^repeat ' <<<"$block" | cut -d' ' -f2)
  check "$a a stalled line fails the write (after ${made:-?} writes went through)" raised mexlink:writeFailed "Error: could not write to serial port" -- \
    "$block" "after ${made:-?} calls in $((SECONDS - t0)) s"
  check "$a ... after the write time-out (2 s + 10 ms a byte): $ms ms" in_range "$ms" 1900 10000 -- "last call took $ms ms"
  # The line is full: Ctrl-C ends a write that waits for room.
  rcall 'interrupt 300 linkHalt 0 $h'
  check "$a Ctrl-C ends a stalled write" raised mexlink:interrupted "Error: write interrupted by Ctrl-C" -- "$block"
  check "$a ... 300 ms in, within a wait slice: $ms ms" in_range "$ms" 290 800 -- "took $ms ms"
  # Output that flow control holds up (a pseudo-terminal reports none
  # queued): the drain before a status read and a close wait 0.5 s for it to
  # move, then give way, and Ctrl-C ends that wait too.
  rcall "spy held" 'linkState 2 $h'
  check "$a a held-up drain gives way to the read (0.5 s, then the 1 s quiet read): $ms ms" in_range "$ms" 1450 4000 \
    -- "took $ms ms" "$block"
  rcall 'interrupt 200 linkState 2 $h'
  check "$a Ctrl-C ends the drain: $ms ms" in_range "$ms" 190 450 -- "took $ms ms" "$block"
  kill -CONT "${!pidv}"
  # Every write reported done arrived whole; the failed one left a torn
  # telegram at most (a partial write is no success).
  local logv=${s}_log whole=0 i
  for i in $(seq 100); do
    whole=$(grep -cx 'start "fifteen_letters"' "${!logv}")
    [ "$whole" -ge $((made - 1)) ] && break
    sleep 0.05
  done
  sleep 0.3
  whole=$(grep -cx 'start "fifteen_letters"' "${!logv}")
  check "$a only the failed write is missing on the wire" [ "$whole" = $((made - 1)) ] -- \
    "$whole whole telegrams for $made calls"
  rcall 'linkDetach 0 $h' "spy moving"
  check "$a a held-up port still closes" grep -qx "print closeSerial: Successful!" <<<"$block" -- "$block"
  check "$a ... after the drain's 0.5 s: $ms ms" in_range "$ms" 450 2000 -- "took $ms ms"
}
