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

  # The host's own serial-port object opens another port, likely under the
  # number the detached handle had: no command and no release touches it.
  rcall 'linkDetach 0 $h' "open COM6"
  local foreign
  foreign=$(sed -n 's/^opened //p' <<<"$block")
  local before
  before=$(grep -cE '^(start|stop|mailbox)' "$foreign_log")
  rcall "linkSend 0 u32:$foreign d:1 d:1 d:1" "linkGains 0 u32:$foreign d:1 d:1 d:1" "linkRun 0 u32:$foreign s:idle" \
    "linkHalt 0 u32:$foreign" "linkPeek 1 u32:$foreign" "linkState 2 u32:$foreign" "linkDetach 0 u32:$foreign" \
    "clear all" "probe $foreign"
  check "$a every command refuses the host's own port" \
    [ "$(grep -c '^id mexlink:notAttached$' <<<"$block")" = 7 ] -- "$block"
  check "$a ... which the release leaves open" grep -qx "probe open" <<<"$block" -- "$block"
  sleep 0.2
  check "$a ... and nothing reached its line" [ "$(grep -cE '^(start|stop|mailbox)' "$foreign_log")" = "$before" ] \
    -- "$(tail -n3 "$foreign_log")"
  rcall "close $foreign"
}
