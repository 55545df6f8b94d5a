# socket://HOST:PORT names from the plug-ins under Wine (whose sockets are
# the host's): against the Linux simulator on TCP and against linksim.exe
# under Wine, every command and its bytes on the wire (scenario_port); a
# second client refused while one is attached, and a malformed name, each
# with the warning that names its cause; the bounded waits of Winsock's code:
# a connection that never comes up, a name that does not resolve, a peer that
# closes in the middle of a read or stops reading, and Ctrl-C in each wait.

# block_like GLOB: the last block matches GLOB, its words where the system's
# own are written as *.
block_like() { [[ $block == $1 ]]; }

# socket_refusals ARCH SIM: with SIM's one client attached, a second is
# refused; a name with no port is no socket name.
socket_refusals() {
  local a=$1 name=${2}_device log=${2}_log
  name=${!name}
  # Until the simulator has seen the last client go, it may refuse the next.
  wait_log "${!log}" "client closed the connection"
  rcall "h = linkAttach 1 s:$name d:115200 d:8 d:0 d:20" "h2 = linkAttach 1 s:$name d:115200 d:8 d:0 d:20"
  check "$a a second client is refused while one is attached" block_like "call linkAttach
print *hSerial: H
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
call linkAttach
print *hSerial: -1
warning $name: nothing accepts connections there (is the server running, on that port? one that serves a single client refuses a second): * (mexlink:openFailed)
id mexlink:openCause
error Error: opening the serial port
id mexlink:openFailed
failed" -- "$block"
  rcall "h2 = linkAttach 1 s:${name%:*} d:115200 d:8 d:0 d:20" 'linkDetach 0 $h'
  expect "$a a socket name without its port, refused" <<EOF2
call linkAttach
print *hSerial: -1
warning ${name%:*}: not of the form socket://HOST:PORT (PORT 1 to 65535; an IPv6 address in brackets) (mexlink:noSuchPort)
id mexlink:openCause
error Error: serial port does not exist
id mexlink:noSuchPort
failed
call linkDetach
print closeSerial: Successful!
ok
EOF2
}

# silent_listener VAR: a listener on 127.0.0.1 that never answers (the test
# library's silent_listener.py); VAR gets its socket://127.0.0.1:PORT.
silent_listener() {
  local fifo=$work/$WINEARCH-silent port
  mkfifo "$fifo"
  python3 "$octave_lib/silent_listener.py" >"$fifo" &
  silent_pid=$!
  read -r -t 10 port <"$fifo"
  rm -f "$fifo"
  printf -v "$1" %s "socket://127.0.0.1:$port"
}

# socket_faults ARCH: every wait of a socket is bounded and ended by Ctrl-C.
socket_faults() {
  local a=$1 silent
  silent_listener silent
  rcall "interrupt 300 linkAttach 1 s:$silent d:115200 d:8 d:0 d:5"
  check "$a Ctrl-C ends a connection that does not come up" \
    raised mexlink:interrupted "Error: connection interrupted by Ctrl-C" -- "$block"
  check "$a ... 300 ms in, within a wait slice: $ms ms" in_range "$ms" 290 800 -- "took $ms ms"
  rcall "linkAttach 1 s:$silent d:115200 d:8 d:0 d:5"
  check "$a a connection that does not come up fails after 5 s, as a port that will not open" block_like "call linkAttach
print *hSerial: -1
warning $silent: no connection within 5 s (mexlink:openFailed)
id mexlink:openCause
error Error: opening the serial port
id mexlink:openFailed
failed" -- "$block"
  check "$a ... 5 s in: $ms ms" in_range "$ms" 4900 7000 -- "took $ms ms"
  kill "$silent_pid"
  local unknown=socket://$(printf 'a%.0s' {1..64}).invalid:26741
  rcall "linkAttach 1 s:$unknown d:115200 d:8 d:0 d:5"
  check "$a a host name that does not resolve, as a port that does not exist" block_like "call linkAttach
print *hSerial: -1
warning $unknown: the host's name does not resolve: * (mexlink:noSuchPort)
id mexlink:openCause
error Error: serial port does not exist
id mexlink:noSuchPort
failed" -- "$block"

  # A read that would wait for ever (T = 0) ends on Ctrl-C; one that waits
  # T = 5000 for the next byte ends when the peer hangs up, with its error,
  # and the handle still detaches.
  start_sim "${a}_closing" - --listen 0 --hangup-after 5 --period 20 || return
  local name=${a}_closing_device
  rcall "h = linkAttach 1 s:${!name} d:115200 d:8 d:0 d:0" 'interrupt 300 linkPeek 1 $h' 'linkDetach 0 $h'
  check "$a Ctrl-C ends a read on a socket" raised mexlink:interrupted "Error: read interrupted by Ctrl-C" -- "$block"
  local log=${a}_closing_log
  wait_log "${!log}" "client closed the connection"
  rcall "h = linkAttach 1 s:${!name} d:115200 d:8 d:0 d:5000" 'linkRun 0 $h s:drive' 'repeat 1000 linkPeek 1 $h'
  check "$a a peer that hangs up fails the read, as an unplugged device" \
    raised mexlink:readFailed "Error: could not read from serial port" -- "$block"
  check "$a ... when it hangs up, not at T: $ms ms" in_range "$ms" 0 3000 -- "took $ms ms"
  rcall 'linkDetach 0 $h'
  check "$a ... and detach still closes" grep -qx "print closeSerial: Successful!" <<<"$block" -- "$block"

  # A peer that stops reading: once the buffers are full a write fails
  # after its time-out, and Ctrl-C ends such a wait.
  start_sim "${a}_stopped" - --listen 0 || return
  name=${a}_stopped_device
  local pid=${a}_stopped_pid
  rcall "h = linkAttach 1 s:${!name} d:115200 d:8 d:0 d:5"
  kill -STOP "${!pid}"
  rcall 'repeat 1000000 linkRun 0 $h s:fifteen_letters'
  check "$a a peer that stops reading fails the write" \
    raised mexlink:writeFailed "Error: could not write to serial port" -- "$block"
  check "$a ... after the write time-out (2 s + 10 ms a byte): $ms ms" in_range "$ms" 1900 10000 -- "took $ms ms"
  rcall 'interrupt 300 linkHalt 0 $h'
  check "$a Ctrl-C ends a stalled write on a socket" \
    raised mexlink:interrupted "Error: write interrupted by Ctrl-C" -- "$block"
  kill -CONT "${!pid}"
  rcall 'linkDetach 0 $h'
  check "$a ... and detach closes it" grep -qx "print closeSerial: Successful!" <<<"$block" -- "$block"
}

scenario_sockets() { # ARCH EXE
  local a=$1 exe=$2
  start_sim "${a}_tcp" - --listen 0 --period 60000 || return
  local name=${a}_tcp_device
  scenario_port "$a (Linux simulator on TCP)" "${a}_tcp" "${!name}"
  socket_refusals "$a (Linux simulator on TCP)" "${a}_tcp"
  socket_faults "$a"

  start_exe_sim "${a}_exe" "$exe" --period 60000 || return
  name=${a}_exe_device
  scenario_port "$a (linksim.exe on TCP)" "${a}_exe" "${!name}"
  socket_refusals "$a (linksim.exe on TCP)" "${a}_exe"
  local pid=${a}_exe_pid dir=${a}_exe_dir
  kill -INT "${!pid}"
  check "$a linksim.exe ends on SIGINT with 0" bash "$launcher" wait "${!dir}" -- "$(head -n5 "${!dir}/err")"
}
