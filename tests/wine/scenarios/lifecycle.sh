scenario_lifecycle() { # ARCH SIM FOREIGN_SIM
  local a=$1 s=$2 f=$3
  local log=${s}_log foreign_log=${f}_log
  log=${!log} foreign_log=${!foreign_log}
  # MATLAB calls the exit function of a plug-in it clears: the port goes with
  # it, and the handle that survives names no port.
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20" "clear linkAttach"
  check "$a clearing linkAttach calls its exit function" grep -qE '^exit .*linkAttach\.mexw(32|64)$' <<<"$block" -- "$block"
  rcall 'linkSend 0 $h d:1 d:1 d:1'
  expect_failure "$a the handle names no port after the clear" linkSend mexlink:notAttached \
    "Error: could not write to serial port"
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20"
  check "$a the port attaches again after the clear" grep -qx ok <<<"$block" -- "$block"
  # A detached handle's number is not handed out again at once.
  local first second
  first=$(sed -n 's/^out1 class=uint32 size=1x1 values=//p' <<<"$raw")
  rcall 'linkDetach 0 $h' "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20"
  second=$(sed -n 's/^out1 class=uint32 size=1x1 values=//p' <<<"$raw")
  rcall "linkSend 0 u32:$first d:1 d:1 d:1"
  check "$a the next attach gets another number ($first, then $second)" [ "${second:-$first}" != "$first" ] -- "$block"
  check "$a ... and the old one names no port" raised mexlink:notAttached "Error: could not write to serial port" \
    -- "$first $second" "$block"

  # The host's own serial-port object opens another port, likely under the
  # number the detached handle had: no command and no release touches it.
  rcall 'linkDetach 0 $h' "open COM6"
  local foreign
  foreign=$(sed -n 's/^opened //p' <<<"$block")
  local before
  before=$(grep -cE '^(start|stop|mailbox)' "$foreign_log")
  rcall "spy watch $foreign" "linkSend 0 u32:$foreign d:1 d:1 d:1" "linkGains 0 u32:$foreign d:1 d:1 d:1" \
    "linkRun 0 u32:$foreign s:idle" "linkHalt 0 u32:$foreign" "linkPeek 1 u32:$foreign" "linkState 2 u32:$foreign" \
    "linkDetach 0 u32:$foreign" "clear all" "probe $foreign" "spy touched"
  check "$a every command refuses the host's own port" \
    [ "$(grep -c '^id mexlink:notAttached$' <<<"$block")" = 7 ] -- "$block"
  check "$a ... which the release leaves open" grep -qx "probe open" <<<"$block" -- "$block"
  check "$a ... and no call of the plug-ins touched it" grep -qx "spy touched 0" <<<"$block" -- "$block"
  sleep 0.2
  check "$a ... and nothing reached its line" [ "$(grep -cE '^(start|stop|mailbox)' "$foreign_log")" = "$before" ] \
    -- "$(tail -n3 "$foreign_log")"
  rcall "close $foreign"

  # A pipe whose read is pending in another thread of the host: on Windows
  # even a query of such a handle waits for that read. Commands and the
  # release neither hang on it nor touch it.
  rcall "pipe open"
  local pipe
  pipe=$(sed -n 's/^pipe //p' <<<"$block")
  rcall "spy watch $pipe" "linkSend 0 u32:$pipe d:1 d:1 d:1" "linkPeek 1 u32:$pipe" "linkState 2 u32:$pipe" \
    "linkDetach 0 u32:$pipe" "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20" "clear all" "spy touched" "pipe check"
  check "$a a pipe with a read pending in another thread is refused" \
    [ "$(grep -c '^id mexlink:notAttached$' <<<"$block")" = 4 ] -- "$block"
  check "$a ... the release comes back" grep -qx "exit .*linkAttach\.mexw\(32\|64\)" <<<"$block" -- "$block"
  check "$a ... and nothing touched it" grep -qx "spy touched 0" <<<"$block" -- "$block"
  check "$a ... whose read still waits" grep -qx "pipe pending" <<<"$block" -- "$block"
  rcall "pipe close"

  # The device goes away while attached (an unplugged USB adapter): reads
  # and writes say so, and detach and the release still close the port.
  local how
  for how in 'linkDetach 0 $h' 'clear all'; do
    rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20"
    local gone
    gone=$(sed -n 's/^out1 class=uint32 size=1x1 values=//p' <<<"$raw")
    rcall "spy unplug $gone" 'linkSend 0 $h d:1 d:1 d:1' 'linkPeek 1 $h' 'linkState 2 $h' "$how" "probe $gone"
    check "$a unplugged: the write fails as a write" raised mexlink:writeFailed "Error: could not write to serial port" -- "$block"
    check "$a unplugged: the reads fail as reads" [ "$(grep -c '^id mexlink:readFailed$' <<<"$block")" = 2 ] -- "$block"
    check "$a unplugged: '$how' closes it" grep -qx "probe closed" <<<"$block" -- "$block"
  done
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20" 'linkDetach 0 $h'
  check "$a the port attaches again after both" grep -qx "print closeSerial: Successful!" <<<"$block" -- "$block"
}

# An exit function that raises takes MATLAB down: the runner stops there too,
# with a fault of its own, and runs no later line.
scenario_exit_fault() { # ARCH DIST RUN_DIR
  local a=$1 out=$3/exit_fault.out rc
  (cd "$2" && printf '%s\n' "testhost/exit_raises.${a/win/mexw} 0" "clear all" "probe 0" \
    | timeout 60 "$wine" testhost/mexrun.exe -d . - >"$out" 2>"$out.err")
  rc=$?
  check "$a an exit function that raises stops the runner (status 3)" [ "$rc" = 3 ] -- "status $rc" "$(cat "$out")"
  check "$a ... as a fault of its own, after the plug-in's error, running no later line" \
    [ "$(tail -n3 "$out")" = $'error raised by an exit function\nid exitRaises:atExit\nerror runner: the exit function raised an error, which takes MATLAB down' ] \
    -- "$(cat "$out")"
}
