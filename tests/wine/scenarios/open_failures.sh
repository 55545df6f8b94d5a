scenario_open_failures() { # ARCH
  local a=$1
  rcall "h = linkAttach 1 s:COM9 d:115200 d:8 d:0 d:20"
  expect "$a missing port" <<'EOF'
call linkAttach
print *hSerial: -1
error Error: serial port does not exist
id mexlink:noSuchPort
failed
EOF
  # Where the text hides the cause, a warning names it, with the system's
  # words and the error's identifier.
  rcall 'h = linkAttach 1 s:C:\\windows d:115200 d:8 d:0 d:20'
  expect "$a a folder is no port" <<'EOF'
call linkAttach
print *hSerial: -1
warning C:\windows: the system would not open it: Access denied (mexlink:openFailed)
id mexlink:openCause
error Error: opening the serial port
id mexlink:openFailed
failed
EOF
  rcall "h = linkAttach 1 s:COM23 d:115200 d:8 d:0 d:20"
  expect "$a COM10 and above written as COM1 to COM9 are" <<'EOF'
call linkAttach
print *hSerial: -1
warning COM23: from COM10 on, Windows names the port '\\.\COM23' (mexlink:noSuchPort)
id mexlink:openCause
error Error: serial port does not exist
id mexlink:noSuchPort
failed
EOF
  rcall 'h = linkAttach 1 s:C:\\windows\\win.ini d:115200 d:8 d:0 d:20'
  expect "$a a file opens but takes no port state" <<'EOF'
call linkAttach
print *hSerial: H
error Error: setting serial port state
id mexlink:stateFailed
failed
EOF
  rcall "h = linkAttach 1 s:COM5 d:115200 d:9 d:0 d:20" "h = linkAttach 1 s:COM5 d:115200 d:8 d:5 d:20"
  expect "$a byte size 9 and parity 5 refused" <<'EOF'
call linkAttach
print *hSerial: H
error Error: setting serial port state
id mexlink:stateFailed
failed
call linkAttach
print *hSerial: H
error Error: setting serial port state
id mexlink:stateFailed
failed
EOF
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:-1" "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:-0.5"
  expect "$a negative time-out refused, -0.5 truncates to 0" <<'EOF'
call linkAttach
print *hSerial: H
error Error: setting timeout
id mexlink:timeoutFailed
failed
call linkAttach
print *hSerial: H
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
EOF
  rcall 'linkDetach 0 $h'
  expect "$a close after the T=0 open" <<'EOF'
call linkDetach
print closeSerial: Successful!
ok
EOF
}
