scenario_port_settings() { # ARCH SIM
  local a=$1 s=$2
  local log=${s}_log
  log=${!log}
  # A port left by an earlier program with XON/XOFF, NUL stripping, the error
  # character and abort-on-error on: the plug-in switches them off and
  # keeps stop bits, RTS/CTS and DTR.
  rcall "spy dirty" "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20" "spy settings" "spy clean"
  check "$a attach sets a binary, transparent port and keeps the line's handshakes" grep -qx "spy BaudRate=115200 \
ByteSize=8 Parity=0 StopBits=2 fBinary=1 fOutX=0 fInX=0 fNull=0 fErrorChar=0 fAbortOnError=0 fOutxCtsFlow=1 \
fRtsControl=2 fOutxDsrFlow=0 fDtrControl=1" <<<"$block" -- "$block"
  # After a line error every read and write fails until ClearCommError:
  # the plug-in clears it and tries once more.
  rcall "spy abort" 'linkSend 0 $h d:1 d:2 d:3'
  check "$a a write aborted by a line error is tried again" wait_log "$log" 'mailbox 1: 105 111 117' -- "$block"
  sim_ctl "$s" send 01 02 03 04 05 06 07 08
  rcall "spy abort" 'linkPeek 1 $h'
  check "$a a read aborted by a line error is tried again" grep -qx "out1 class=uint8 size=7x1 values=2,3,4,5,6,7,8" \
    <<<"$block" -- "$block"
  rcall 'linkDetach 0 $h'
  check "$a detach the settings port" grep -qx ok <<<"$block" -- "$block"
}
