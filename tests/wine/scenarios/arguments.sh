scenario_arguments() { # ARCH
  local a=$1
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0"
  expect_failure "$a linkAttach: four arguments" linkAttach mexlink:inputCount "Error: five input arguments required"
  rcall "h = linkAttach 2 s:COM5 d:115200 d:8 d:0 d:20"
  expect_failure "$a linkAttach: two outputs" linkAttach mexlink:outputCount "Error: too many output arguments"
  rcall "h = linkAttach 1 d:5 d:115200 d:8 d:0 d:20" "h = linkAttach 1 c2:CO,M5 d:115200 d:8 d:0 d:20" \
     "h = linkAttach 1 s:COM5 s:fast d:8 d:0 d:20" "h = linkAttach 1 s:COM5 d:115200 cell: d:0 d:20" \
     "h = linkAttach 1 s:COM5 d:115200 d:8 sp: d:20" "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 e:double"
  expect "$a linkAttach: argument types" <<'EOF'
call linkAttach
error Error: arg0 must be a string
id mexlink:portNameNotText
failed
call linkAttach
error Error: arg0 must be a row vector
id mexlink:portNameNotRow
failed
call linkAttach
error Error: arg1 must be a number
id mexlink:notNumber
failed
call linkAttach
error Error: arg2 must be a number
id mexlink:notNumber
failed
call linkAttach
error Error: arg3 must be a number
id mexlink:notNumber
failed
call linkAttach
error Error: arg4 must be a number
id mexlink:notNumber
failed
EOF
  rcall "linkSend 0 u8:1 d:1 d:2 d:3" "linkSend 0 e:u32 d:1 d:2 d:3" "linkSend 0 zu32:8 d:1 d:2 d:3" \
     "linkPeek 1 d:8" "linkState 2 i32:8" "linkDetach 0 s:COM5" "linkGains 0 u32:8 d:1 d:2" \
     "linkSend 0 u32:8 d:1 d:2 struct:" "linkRun 0 u32:8 d:1" "linkRun 0 u32:8 s:abcdefghijklmnop" \
     "linkRun 0 u32:8 c2:ab,cd"
  expect "$a argument checks" <<'EOF'
call linkSend
error Error: invalid port handle
id mexlink:invalidHandle
failed
call linkSend
error Error: invalid port handle
id mexlink:invalidHandle
failed
call linkSend
error Error: invalid port handle
id mexlink:invalidHandle
failed
call linkPeek
error Error: invalid port handle
id mexlink:invalidHandle
failed
call linkState
error Error: invalid port handle
id mexlink:invalidHandle
failed
call linkDetach
error Error: invalid port handle
id mexlink:invalidHandle
failed
call linkGains
error Error: four input arguments required
id mexlink:inputCount
failed
call linkSend
error Error: arg3 must be a number
id mexlink:notNumber
failed
call linkRun
error Input must be a string
id mexlink:programNameNotText
failed
call linkRun
error Error: data should be a linear vector or is too long
id mexlink:badProgramName
failed
call linkRun
error Error: data should be a linear vector or is too long
id mexlink:badProgramName
failed
EOF
  rcall "linkHalt 1 u32:8" "linkState 3 u32:8" "linkDetach 1 u32:8" "linkDetach 1" "linkDetach 0 u32:8 u32:8" \
     "linkHalt 0 u32:4294967295" "linkRun 0 u32:4294967295 s:drive" "linkDetach 0 u32:4294967295" \
     "linkGains 0 u32:8 d:0 d:256 d:1" "linkGains 0 u32:8 d:-1 d:0 d:1" "linkGains 0 u32:8 d:0 d:0 d:nan"
  expect "$a counts, missing port and gain range" <<'EOF'
call linkHalt
error Error: too many output arguments
id mexlink:outputCount
failed
call linkState
error Error: too many output arguments
id mexlink:outputCount
failed
call linkDetach
error Error: too many output arguments
id mexlink:outputCount
failed
call linkDetach
error Error: one input arguments required
id mexlink:inputCount
failed
call linkDetach
error Error: too many input arguments
id mexlink:inputCount
failed
call linkHalt
error Error: serial port does not exist
id mexlink:noPort
failed
call linkRun
error Error: serial port does not exist
id mexlink:noPort
failed
call linkDetach
error Error: serial port does not exist.
id mexlink:noPort
failed
call linkGains
error Error: invalid motor PID value(s)
id mexlink:invalidGains
failed
call linkGains
error Error: invalid motor PID value(s)
id mexlink:invalidGains
failed
call linkGains
error Error: invalid motor PID value(s)
id mexlink:invalidGains
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
    want+=$'call linkDetach\nerror Error: could not close serial port.\nid mexlink:notAttached\nfailed\n'
    want+=$'call linkPeek\nerror Error: could not read from serial port\nid mexlink:notAttached\nfailed\n'
    want+=$'call linkState\nerror Error: could not read from serial port\nid mexlink:notAttached\nfailed\n'
    want+=$'call linkSend\nerror Error: could not write to serial port\nid mexlink:notAttached\nfailed\n'
    n=$((n + 1))
  done
  block+=$'\n'
  check "$a $n handle values that name no port are left alone" [ "$block" = "$want" ] -- \
    "$(diff <(echo "$want") <(echo "$block") | head -20)"
  rcall "linkHalt 0 u32:4294967295"
  check "$a runner still answers after the foreign handles" raised mexlink:noPort "Error: serial port does not exist"
}
