# Argument checks: every call of tests/argument_checks.txt, then what only
# the MATLAB host shows. The runner reports any output slot a refused call
# wrote, so each call also shows that none was.

# table_calls [PLACEHOLDER]: the table's calls naming PLACEHOLDER (without
# one: the calls naming no $gone) as runner lines in `calls`, each expected
# report in `reports`.
table_calls() {
  local line call id text
  calls=()
  reports=()
  while IFS= read -r line; do
    [[ $line =~ ^(link[A-Za-z]+\ [0-9]+.*)\ =\>\ (mexlink:[A-Za-z]+)\ (.*)$ ]] || continue
    call=${BASH_REMATCH[1]} id=${BASH_REMATCH[2]} text=${BASH_REMATCH[3]}
    if [ $# -eq 0 ]; then
      [[ $call == *'$gone'* ]] && continue
    else
      [[ $call == *"$1"* ]] || continue
    fi
    call=${call//\$port/s:COM5}
    calls+=("${call//\$gone/\$h}")
    reports+=("call ${call%% *}"$'\n'"error $text"$'\n'"id $id"$'\n'"failed")
  done <"$here/../argument_checks.txt"
}

# expect_table NAME: the last block against `reports`, call by call.
expect_table() {
  local got=() chunk="" line k wrong=()
  local warned=0
  while IFS= read -r line; do
    # The warning that names an open error's cause is no part of the table.
    if [[ $line == warning\ * ]]; then warned=1; continue; fi
    if ((warned)) && [[ $line == "id mexlink:openCause" ]]; then warned=0; continue; fi
    warned=0
    if [[ $line == call\ * ]] && [ -n "$chunk" ]; then
      got+=("${chunk%$'\n'}")
      chunk=""
    fi
    chunk+="$line"$'\n'
  done <<<"$block"
  [ -n "$chunk" ] && got+=("${chunk%$'\n'}")
  for k in "${!reports[@]}"; do
    [ "${got[k]-}" = "${reports[k]}" ] || wrong+=("${calls[k]}" "  got: ${got[k]-nothing}" "  not: ${reports[k]}")
  done
  [ ${#got[@]} -eq ${#reports[@]} ] || wrong+=("${#got[@]} reports for ${#reports[@]} calls")
  check "$1: ${#reports[@]} calls" [ ${#wrong[@]} -eq 0 ] -- "${wrong[@]}"
}

scenario_arguments() { # ARCH
  local a=$1 calls reports
  rcall "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:5"
  check "$a argument table: COM5 attached as \$h" grep -qx ok <<<"$block" -- "$block"
  table_calls
  rcall "${calls[@]}"
  expect_table "$a argument table"
  rcall "linkDetach 0 \$h"
  table_calls '$gone'
  rcall "${calls[@]}"
  expect_table "$a argument table, \$h detached"

  # MATLAB has complex integers; a complex uint32 is no handle.
  calls=("linkSend 0 zu32:8 d:1 d:2 d:3" "linkDetach 0 zu32:8")
  rcall "${calls[@]}"
  reports=($'call linkSend\nerror Error: invalid port handle\nid mexlink:invalidHandle\nfailed'
           $'call linkDetach\nerror Error: invalid port handle\nid mexlink:invalidHandle\nfailed')
  expect_table "$a complex uint32 handles"

  # Handles that name no port (none is attached now): never written, read or
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
