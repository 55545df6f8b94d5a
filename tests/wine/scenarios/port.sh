scenario_port() { # ARCH SIM [PORT]: on COM5 unless PORT names another
  local a=$1 s=$2 name=${3:-COM5}
  local log=${s}_log
  log=${!log}

  rcall "h = linkAttach 1 s:$name d:115200 d:8 d:0 d:20"
  expect "$a attach $name" <<'EOF'
call linkAttach
print *hSerial: H
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
EOF

  # The kernel ignores a handle's two low bits; values with them set are
  # refused rather than acted on as the port.
  local handle
  handle=$(sed -n 's/^out1 class=uint32 size=1x1 values=//p' <<<"$raw")
  rcall "linkPeek 1 u32:$((handle + 1))" "linkSend 0 u32:$((handle + 2)) d:0 d:0 d:0" "linkDetach 0 u32:$((handle + 3))"
  expect "$a the port's handle with low bits set is no port" <<'EOF'
call linkPeek
error Error: could not read from serial port
id mexlink:notAttached
failed
call linkSend
error Error: could not write to serial port
id mexlink:notAttached
failed
call linkDetach
error Error: could not close serial port.
id mexlink:notAttached
failed
EOF

  # Bytes on the wire.
  rcall 'linkRun 0 $h s:abc'
  check "$a linkRun('abc') on the wire" wait_log "$log" 'start "abc"' -- "log: $(tail -n3 "$log")"
  rcall 'linkRun 0 $h s:a\x0d\x0ab\x11\x13\xff\x03'
  check "$a linkRun passes CR, LF, XON, XOFF, 0xFF, ^C untouched" \
    wait_log "$log" 'start "a\x0d\x0ab\x11\x13\xff\x03"' -- "log: $(tail -n3 "$log")"
  rcall 'linkRun 0 $h s:drive'
  check "$a linkRun('drive') starts the program" wait_log "$log" 'program drive running'
  rcall 'linkSend 0 $h d:1 d:-1 d:100'
  check "$a linkSend(1,-1,100) on the wire" wait_log "$log" 'mailbox 1: 105 095 200' -- "log: $(tail -n3 "$log")"
  check "$a linkSend reaches the motors" wait_log "$log" 'setpoints 5 -5 100'

  # Status frames: the motors have moved by now, one of them backwards, so
  # the folded negative angles are exercised.
  sleep 0.5
  sim_ctl "$s" frame
  rcall 'linkState 2 $h'
  local why
  why=$(logged_status "$log")
  check "$a linkState decodes a frame" [ $? = 0 ] -- "$why" "$block"
  sim_ctl "$s" frame && sim_ctl "$s" frame && sim_ctl "$s" frame && sim_ctl "$s" frame
  rcall 'linkState 2 $h'
  why=$(logged_status "$log")
  check "$a linkState drains 92 bytes (50 + 42) and decodes the newest frame" [ $? = 0 ] -- "$why" "$block"
  sim_ctl "$s" frame && sim_ctl "$s" frame && sim_ctl "$s" frame
  rcall 'linkState 2 $h'
  why=$(logged_status "$log")
  check "$a linkState drains 69 bytes (50 + 19) and still decodes the newest frame whole" [ $? = 0 ] -- \
    "$why" "$block"
  rcall 'linkState 2 $h'
  expect "$a linkState on a quiet line: isShort" <<'EOF'
call linkState
out1 class=double size=7x1 values=0,0,0,0,0,0,0
out2 class=int8 size=1x1 values=1
ok
EOF
  check "$a quiet linkState ends by the T=20 total time-out (~1020 ms): $ms ms" in_range "$ms" 900 3000 -- "took $ms ms"
  sim_ctl "$s" frame
  rcall 'linkState 1 $h'
  check "$a linkState with one output" grep -q '^out1 class=double size=7x1 values=[0-9]' <<<"$block" -- "$block"

  # linkPeek: one read of at most 50 bytes, its last seven returned.
  sim_ctl "$s" send "$(seq 0 59 | xargs printf '%02x ')"
  rcall 'linkPeek 1 $h'
  expect "$a linkPeek of 60 waiting bytes takes 50" <<'EOF'
call linkPeek
print NumReadBytes: 50
out1 class=uint8 size=7x1 values=43,44,45,46,47,48,49
ok
EOF
  rcall 'linkPeek 1 $h'
  expect "$a the next linkPeek takes the other 10" <<'EOF'
call linkPeek
print NumReadBytes: 10
out1 class=uint8 size=7x1 values=53,54,55,56,57,58,59
ok
EOF
  check "$a a pause of T after the last byte ends the read early: $ms ms" in_range "$ms" 0 700 -- "took $ms ms"
  sim_ctl "$s" send 0a 0d 11 13 00 ff 7f
  rcall 'linkPeek 1 $h'
  expect "$a linkPeek bytes arrive untouched" <<'EOF'
call linkPeek
print NumReadBytes: 7
out1 class=uint8 size=7x1 values=10,13,17,19,0,255,127
ok
EOF
  sim_ctl "$s" send 01 02 03
  rcall 'linkPeek 1 $h'
  expect "$a fewer than seven bytes leave the tail zero" <<'EOF'
call linkPeek
print NumReadBytes: 3
out1 class=uint8 size=7x1 values=0,0,0,0,0,0,0
ok
EOF
  rcall 'linkPeek 1 $h'
  expect "$a linkPeek on a quiet line" <<'EOF'
call linkPeek
print NumReadBytes: 0
out1 class=uint8 size=7x1 values=0,0,0,0,0,0,0
ok
EOF
  check "$a quiet linkPeek ends by the T=20 total time-out (~1020 ms): $ms ms" in_range "$ms" 900 3000 -- "took $ms ms"
  # The interval timer starts at the first byte: bytes 400 ms into the read
  # (far beyond T) are still taken.
  rsend 'linkPeek 1 $h'
  until_call linkPeek
  sleep 0.4
  sim_ctl "$s" send 41 42
  rwait
  check "$a bytes after a wait longer than T are still read" grep -qx "print NumReadBytes: 2" <<<"$block" -- "$block"

  rcall 'linkGains 0 $h d:0 d:255 d:10.9'
  check "$a linkGains(0,255,10.9) on the wire" wait_log "$log" 'mailbox 1: 000 255 010' -- "log: $(tail -n3 "$log")"
  rcall 'linkHalt 0 $h'
  check "$a linkHalt on the wire" wait_log "$log" 'stop' -- "log: $(tail -n3 "$log")"
  rcall 'linkDetach 0 $h'
  expect "$a detach" <<'EOF'
call linkDetach
print closeSerial: Successful!
ok
EOF
  local before
  before=$(wc -l <"$log")
  rcall 'linkSend 0 $h d:1 d:1 d:1' 'linkPeek 1 $h' 'linkState 2 $h' 'linkHalt 0 $h' 'linkDetach 0 $h'
  expect "$a a closed handle is refused by every command" <<'EOF'
call linkSend
error Error: could not write to serial port
id mexlink:notAttached
failed
call linkPeek
error Error: could not read from serial port
id mexlink:notAttached
failed
call linkState
error Error: could not read from serial port
id mexlink:notAttached
failed
call linkHalt
error Error: could not write to serial port
id mexlink:notAttached
failed
call linkDetach
error Error: could not close serial port.
id mexlink:notAttached
failed
EOF
  sleep 0.2
  check "$a nothing reached the wire after the close" [ "$(wc -l <"$log")" = "$before" ] -- "$(tail -n +$((before + 1)) "$log")"
  check "$a no malformed telegram on the wire" not grep -q '^bad telegram' "$log" -- "$(grep '^bad telegram' "$log")"
}
