#!/usr/bin/env bash
# The one way to run the simulated controller in the background; every test
# harness and scripts/with_simulator.sh use it.
#   simulator.sh start DIR [OPTION...]  start it with linksim's OPTIONs; prints "PORT PID"
#   simulator.sh send DIR COMMAND...    give it control commands, one by one
#   simulator.sh wait DIR               until it ends by itself
#   simulator.sh stop DIR               end it (woken first, should it be stopped)
# DIR (made if need be) holds one simulator's files: its log (DIR/log, the
# --log it is given) and its stderr (DIR/err). PORT is what its first line
# names (a device path, or socket://ADDR:PORT with --listen); PID is its
# process, in a session of its own, so a Ctrl-C meant for the caller never
# reaches it. LINKSIM names the simulator: a path, or a command of several
# words split at blanks (e.g. "wine linksim.exe"); the default is this
# checkout's build/bin/linksim.
# send waits up to 5 s for each command's "ok" and prints the lines answered
# before it; on an "error ..." answer it prints that line too and exits 1,
# as without an answer. wait and stop give up after 5 s (status 124); else
# they exit with the simulator's exit status.
set -euo pipefail
self=${BASH_SOURCE[0]}
[[ $self == /* ]] || self=$PWD/$self

say() { echo "simulator.sh: $*" >&2; }

start() { # DIR OPTION...
  local dir=$1
  shift
  [[ $dir == /* ]] || dir=$PWD/$dir
  mkdir -p "$dir"
  rm -f "$dir/control" "$dir/answers" "$dir/pid" "$dir/status"
  mkfifo "$dir/control" "$dir/answers"
  local command
  read -ra command <<<"${LINKSIM:-${self%/*}/../build/bin/linksim}"
  setsid bash "$self" keep "$dir" "${command[@]}" --log "$dir/log" --control "$@" </dev/null >/dev/null 2>&1 &
  # The first answer names the port once the simulator serves. A read that
  # times out keeps what it took, so the pieces are joined.
  local port="" part i
  for ((i = 0; i < 100; i++)); do
    if IFS= read -r -t 0.05 part <>"$dir/answers"; then
      echo "$port$part $(<"$dir/pid")"
      return 0
    fi
    port+=$part
    if [[ -s $dir/status ]]; then
      say "the simulator did not start (exit $(<"$dir/status")): $(head -n5 "$dir/err")"
      return 1
    fi
  done
  say "the simulator did not name its port within 5 s: $(head -n5 "$dir/err" 2>/dev/null)"
  stop "$dir" >/dev/null 2>&1 || true
  return 1
}

# keep DIR COMMAND... (the launcher's own): runs in the simulator's session
# and outlives the launcher, so the simulator's exit status is there to read. Its pid is
# written before it starts, so it is there once the port is named. The
# simulator holds both ends of its two pipes: senders come and go, and an
# answer nobody reads yet waits in the pipe.
keep() {
  local dir=$1
  shift
  local status=0
  (
    echo "$BASHPID" >"$dir/pid"
    exec "$@" <>"$dir/control" 1<>"$dir/answers" 2>"$dir/err"
  ) &
  wait $! || status=$?
  echo "$status" >"$dir/status"
}

send() { # DIR COMMAND...
  local dir=$1 command answer answers
  shift
  # Held open from before the command: the answer to "quit" outlives the
  # simulator only in a pipe someone holds.
  exec {answers}<>"$dir/answers"
  for command; do
    printf '%s\n' "$command" 1<>"$dir/control"
    while true; do
      if ! IFS= read -r -t 5 -u "$answers" answer; then
        say "no answer to \"$command\""
        return 1
      fi
      [[ $answer == ok ]] && break
      echo "$answer"
      [[ $answer == error* ]] && return 1
    done
  done
  return 0
}

wait_end() { # DIR
  local i
  for ((i = 0; i < 500; i++)); do
    [[ -s $1/status ]] && return "$(<"$1/status")"
    sleep 0.01
  done
  say "the simulator in $1 still runs"
  return 124
}

stop() { # DIR
  local pid
  [[ -s $1/status ]] && return "$(<"$1/status")"
  [[ -s $1/pid ]] || { say "no simulator in $1"; return 1; }
  pid=$(<"$1/pid")
  kill -CONT "$pid" 2>/dev/null || true
  kill -TERM "$pid" 2>/dev/null || true
  wait_end "$1" && return 0
  local status=$?
  ((status == 124)) && kill -KILL "$pid" 2>/dev/null
  return "$status"
}

what=${1:-}
(($# >= 2)) || { echo "usage: $0 start|send|wait|stop DIR ..." >&2; exit 2; }
shift
case $what in
start | keep | send | stop) "$what" "$@" ;;
wait) wait_end "$1" ;;
*) echo "usage: $0 start|send|wait|stop DIR ..." >&2; exit 2 ;;
esac
