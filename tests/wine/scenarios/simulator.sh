# linksim.exe, the simulator of the zip, under Wine (whose sockets are the
# host's) serves a Linux TCP client: --listen 0 prints the name to connect
# to, a start telegram is logged, a status frame arrives and is the one the
# log names, and Ctrl-C (SIGINT, which Wine hands to the console's control
# handler) ends it cleanly: exit 0, the connection closed, and every frame
# the client got in the log.

# frame_of BYTES...: the 23 bytes of a status frame (decimal) as the log
# writes it: "frame SEQ" and the four 16-bit values, then the three angles
# (32-bit fields holding 16 bits folded: above 32767 stands for less 65535).
frame_of() {
  awk 'BEGIN {
    if (ARGC != 24 || ARGV[1] != 21 || ARGV[2] != 0 || ARGV[3] != 165) { print "no frame: " ARGC - 1 " bytes"; exit 1 }
    for (k = 0; k < 4; k++) v[k] = ARGV[4 + 2 * k] + 256 * ARGV[5 + 2 * k]
    line = "frame " v[0] " " v[0] " " v[1] " " v[2] " " v[3]
    for (k = 0; k < 3; k++) {
      o = 12 + 4 * k
      a = ARGV[o] + 256 * ARGV[o + 1] + 65536 * ARGV[o + 2] + 16777216 * ARGV[o + 3]
      line = line " " (a > 32767 ? a - 65535 : a)
    }
    print line
  }' "$@"
}

scenario_simulator_exe() { # ARCH EXE
  local a=$1 exe=$2 dir=$work/$1-linksim-exe
  mkdir -p "$dir"
  "$wine" "$exe" --listen 0 --log "$dir/log" --period 20 </dev/null >"$dir/out" 2>"$dir/err" &
  local pid=$! name="" i
  for i in $(seq 500); do
    name=$(head -n1 "$dir/out")
    [ -n "$name" ] && break
    sleep 0.02
  done
  if ! [[ $name =~ ^socket://127\.0\.0\.1:([1-9][0-9]*)$ ]]; then
    fail "$a linksim.exe --listen 0 prints socket://127.0.0.1:PORT" "got: $name" "$(head -n5 "$dir/err")"
    kill "$pid" 2>/dev/null
    return
  fi
  pass "$a linksim.exe --listen 0 prints socket://127.0.0.1:PORT"
  local tcp
  exec {tcp}<>"/dev/tcp/127.0.0.1/${BASH_REMATCH[1]}"
  printf '\x08\x00\x80\x00drive\x00' >&"$tcp"
  check "$a linksim.exe logs the start telegram of a Linux client" wait_log "$dir/log" 'program drive running' -- \
    "$(cat "$dir/log")"
  # dd reads no more than the frame, so the rest stays for the count below.
  local frame bytes logged
  frame=$(frame_of $(timeout 5 dd bs=23 count=1 iflag=fullblock status=none <&"$tcp" | od -An -v -tu1))
  check "$a linksim.exe sends a status frame, the one its log names" grep -qxF -e "$frame" "$dir/log" -- \
    "$frame" "$(grep -m3 '^frame ' "$dir/log")"
  kill -INT "$pid"
  check "$a linksim.exe ends on Ctrl-C with 0" wait_exit "$pid" 0 -- "$(head -n5 "$dir/err")"
  timeout 5 cat <&"$tcp" >"$dir/rest"
  check "$a linksim.exe closed the connection" [ $? = 0 ] -- "no end of input within 5 s"
  exec {tcp}<&-
  bytes=$((23 + $(wc -c <"$dir/rest")))
  logged=$(grep -c '^frame ' "$dir/log")
  check "$a linksim.exe logged every frame the client got" [ "$bytes" = $((23 * logged)) ] -- \
    "got $bytes bytes, $logged frames logged"
  check_quiet "$a" linksim.exe "$dir/err"
}

# wait_exit PID CODE: PID, a child of this shell, exits with CODE within 10 s.
wait_exit() {
  local i
  for i in $(seq 500); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.02
  done
  kill -0 "$1" 2>/dev/null && { kill -KILL "$1"; return 1; }
  wait "$1"
  [ $? = "$2" ]
}
