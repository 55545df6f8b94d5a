scenario_arguments() { # ARCH
  local a=$1
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0"
  expect_failure "$a linkAttach: four arguments" linkAttach "Error: five input arguments required"
  rcall "h = linkAttach 2 s:COM5 d:115200 d:8 d:0 d:20"
  expect_failure "$a linkAttach: two outputs" linkAttach "Error: too many output arguments"
  rcall "h = linkAttach 1 d:5 d:115200 d:8 d:0 d:20" "h = linkAttach 1 c2:CO,M5 d:115200 d:8 d:0 d:20" \
     "h = linkAttach 1 s:COM5 s:fast d:8 d:0 d:20" "h = linkAttach 1 s:COM5 d:115200 cell: d:0 d:20" \
     "h = linkAttach 1 s:COM5 d:115200 d:8 sp: d:20" "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 e:double"
  expect "$a linkAttach: argument types" <<'EOF'
call linkAttach
error Error: arg0 must be a string
failed
call linkAttach
error Error: arg0 must be a row vector
failed
call linkAttach
error Error: arg1 must be a number
failed
call linkAttach
error Error: arg2 must be a number
failed
call linkAttach
error Error: arg3 must be a number
failed
call linkAttach
error Error: arg4 must be a number
failed
EOF
  rcall "linkSend 0 u8:1 d:1 d:2 d:3" "linkSend 0 e:u32 d:1 d:2 d:3" "linkSend 0 zu32:8 d:1 d:2 d:3" \
     "linkPeek 1 d:8" "linkState 2 i32:8" "linkDetach 0 s:COM5" "linkGains 0 u32:8 d:1 d:2" \
     "linkSend 0 u32:8 d:1 d:2 struct:" "linkRun 0 u32:8 d:1" "linkRun 0 u32:8 s:abcdefghijklmnop" \
     "linkRun 0 u32:8 c2:ab,cd"
  expect "$a argument checks" <<'EOF'
call linkSend
error Error: invalid port handle
failed
call linkSend
error Error: invalid port handle
failed
call linkSend
error Error: invalid port handle
failed
call linkPeek
error Error: invalid port handle
failed
call linkState
error Error: invalid port handle
failed
call linkDetach
error Error: invalid port handle
failed
call linkGains
error Error: four input arguments required
failed
call linkSend
error Error: arg3 must be a number
failed
call linkRun
error Input must be a string
failed
call linkRun
error Error: data should be a linear vector or is too long
failed
call linkRun
error Error: data should be a linear vector or is too long
failed
EOF
  rcall "linkHalt 1 u32:8" "linkState 3 u32:8" "linkDetach 1 u32:8" "linkDetach 1" "linkDetach 0 u32:8 u32:8" \
     "linkHalt 0 u32:4294967295" "linkRun 0 u32:4294967295 s:drive" "linkDetach 0 u32:4294967295" \
     "linkGains 0 u32:8 d:0 d:256 d:1" "linkGains 0 u32:8 d:-1 d:0 d:1" "linkGains 0 u32:8 d:0 d:0 d:nan"
  expect "$a counts, missing port and gain range" <<'EOF'
call linkHalt
error Error: too many output arguments
failed
call linkState
error Error: too many output arguments
failed
call linkDetach
error Error: too many output arguments
failed
call linkDetach
error Error: one input arguments required
failed
call linkDetach
error Error: too many input arguments
failed
call linkHalt
error Error: serial port does not exist
failed
call linkRun
error Error: serial port does not exist
failed
call linkDetach
error Error: serial port does not exist.
failed
call linkGains
error Error: invalid motor PID value(s)
failed
call linkGains
error Error: invalid motor PID value(s)
failed
call linkGains
error Error: invalid motor PID value(s)
failed
EOF

  # Handles that name no port (nothing is open yet): never written, read or
  # closed, whatever the value. Closing one of the runner's own handles
  # would cut its output short, so the next call's reply also proves that.
  local lines=() h
  for h in 0 4 8 12 16 20 24 28 32 36 40 44 48 52 56 60 64 7 2147483648 4294967294; do
    lines+=("linkDetach 0 u32:$h" "linkPeek 1 u32:$h" "linkState 2 u32:$h" "linkSend 0 u32:$h d:1 d:1 d:1")
  done
  rcall "${lines[@]}"
  local want="" n=0
  for h in 0 4 8 12 16 20 24 28 32 36 40 44 48 52 56 60 64 7 2147483648 4294967294; do
    want+=$'call linkDetach\nerror Error: could not close serial port.\nfailed\n'
    want+=$'call linkPeek\nerror Error: could not read from serial port\nfailed\n'
    want+=$'call linkState\nerror Error: could not read from serial port\nfailed\n'
    want+=$'call linkSend\nerror Error: could not write to serial port\nfailed\n'
    n=$((n + 1))
  done
  block+=$'\n'
  check "$a $n handle values that name no port are left alone" [ "$block" = "$want" ] -- \
    "$(diff <(echo "$want") <(echo "$block") | head -20)"
  rcall "linkHalt 0 u32:4294967295"
  check "$a runner still answers after the foreign handles" grep -qx "error Error: serial port does not exist" <<<"$block"
}
