# linkPorts. Wine's mount manager names each COM port it maps, when the
# server starts, in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, as a Windows serial
# driver does: here COM5, COM6 and COM12 (run_wine_tests.sh maps them) and
# any it maps to the host's own serial devices. Its SetupAPI has no device
# in the Ports class: Wine has no USB or Bluetooth serial device. So the
# names are checked against Wine's registry as its reg tool reads it, with
# no description; then device entries are written as Windows keeps them
# (the Ports class, friendly name, hardware IDs, and the port's name in the
# device key) for a USB adapter on COM12 and a Bluetooth link's two ports on
# COM5 (outgoing) and COM6 (incoming), and linkPorts reads them through
# SetupAPI. linkAttach reads them too: it warns when it attaches an
# Incoming port, COM6 (the flooding simulator's), and names the port so in
# the cause of a failing open, COM8 (an Incoming port mapped to nothing,
# then to a folder). The Bluetooth entries go again at the end, so the
# other scenarios' COM6 is a plain port.

# The names linkPorts gives the ports SERIALCOMM lists, in its order.
serialcomm_names() {
  timeout 30 "$wine" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' </dev/null 2>/dev/null | tr -d '\r' \
    | awk '$2 == "REG_SZ" {print $3}' | sort -V | sed -E '/^COM[1-9]$/!s/^/\\\\.\\/'
}

# cell_lines SLOT TEXT...: the runner's report of an n-by-1 cell of char
# rows ('' is 0-by-0).
cell_lines() {
  local slot=$1 k=0 text
  shift
  echo "$slot class=cell size=$#x1"
  for text; do
    k=$((k + 1))
    echo "$slot{$k} class=char size=$((${#text} > 0))x${#text} text=${text//\\/\\\\}"
  done
}

# device_entry INSTANCE_ID FRIENDLY_NAME HARDWARE_ID PORT_NAME: a port's
# device in REGEDIT4's form (the hardware IDs a list of texts, in bytes).
device_entry() {
  local key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\$1" ids
  ids=$(printf '%s\0\0' "$3" | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  printf '[%s]\n"ClassGUID"="{4D36E978-E325-11CE-BFC1-08002BE10318}"\n' "$key"
  printf '"FriendlyName"="%s"\n"HardwareID"=hex(7):%s\n\n' "$2" "$ids"
  printf '[%s\\Device Parameters]\n"PortName"="%s"\n\n' "$key" "$4"
}

# The plug-in cannot open a port: it imports no call that opens a file or a
# device.
ports_static_checks() { # ARCH DIST SUFFIX
  local opens
  opens=$(imports_from "$2/linkPorts.$3" KERNEL32.dll | grep -i '^CreateFile\|^OpenFile')
  check "$1 linkPorts imports no call that opens a file or a device" [ -z "$opens" ] -- "$opens"
}

scenario_ports() { # ARCH
  local a=$1 names=() descriptions=() k name
  mapfile -t names < <(serialcomm_names)
  for name in COM5 COM6 '\\.\COM12'; do
    check "$a Wine's registry names the mapped port $name" grep -qxF "$name" < <(printf '%s\n' "${names[@]}") \
      -- "${names[@]}"
  done
  for k in "${!names[@]}"; do descriptions[k]=""; done
  rcall "linkPorts 2"
  expect "$a linkPorts: the registry's ports by number, COM10 on after \\\\.\\, no description" \
    < <(echo "call linkPorts"; cell_lines out1 "${names[@]}"; cell_lines out2 "${descriptions[@]}"; echo ok)

  local reg=$work/$a-ports.reg
  {
    printf 'REGEDIT4\n\n'
    device_entry 'USB\VID_0403&PID_6001\A600XYZ' 'USB Serial Port (COM12)' 'USB\VID_0403&PID_6001&REV_0600' COM12
    device_entry 'BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F\7&2A3F1E8C&0&0016530A1B2C_C00000000' \
      'Standard Serial over Bluetooth link (COM5)' 'BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F' COM5
    device_entry 'BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\7&2A3F1E8C&0&000000000000_00000000' \
      'Standard Serial over Bluetooth link (COM6)' 'BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000' COM6
    # Devices no driver named in SERIALCOMM: no port.
    device_entry 'USB\VID_10C4&PID_EA60\0001' 'Silicon Labs CP210x USB to UART Bridge (COM7)' 'USB\VID_10C4&PID_EA60' COM7
    device_entry 'BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\7&2A3F1E8C&0&000000000000_00000001' \
      'Standard Serial over Bluetooth link (COM8)' 'BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000' COM8
  } >"$reg"
  local out
  out=$(timeout 60 "$wine" reg import "Z:${reg//\//\\}" </dev/null 2>&1)
  check "$a the ports' device entries written" [ $? = 0 ] -- "$out"
  for k in "${!names[@]}"; do
    case ${names[k]} in
      COM5) descriptions[k]='Standard Serial over Bluetooth link (COM5), Outgoing: use this one' ;;
      COM6) descriptions[k]='Standard Serial over Bluetooth link (COM6), Incoming: not this one' ;;
      '\\.\COM12') descriptions[k]='USB Serial Port (COM12), USB 0403:6001' ;;
    esac
  done
  # Windows does not use the root.
  rcall "linkPorts 2" "linkPorts 2 s:C:\\\\no\\\\folder"
  expect "$a linkPorts: descriptions from SetupAPI, Bluetooth directions from the instance IDs; root unused" \
    < <(for k in 1 2; do echo "call linkPorts"; cell_lines out1 "${names[@]}"; cell_lines out2 "${descriptions[@]}"
        echo ok; done)

  # No output asked for: one line per port, names padded to the longest.
  local width=0
  for name in "${names[@]}"; do ((${#name} > width)) && width=${#name}; done
  rcall "linkPorts 0"
  expect "$a linkPorts prints a line per port" < <(echo "call linkPorts"
    for k in "${!names[@]}"; do
      if [ -z "${descriptions[k]}" ]; then echo "print ${names[k]}"
      else printf 'print %-*s  %s\n' "$width" "${names[k]}" "${descriptions[k]}"; fi
    done; echo ok)

  # The name as listed is one linkAttach takes: COM12 is the first
  # simulator's port under a second name.
  rcall "linkPorts 1"
  local listed
  listed=$(sed -n 's/^out1{[0-9]*} class=char size=1x9 text=\(.*COM12\)$/\1/p' <<<"$block")
  rcall "h = linkAttach 1 s:$listed d:115200 d:8 d:0 d:5" 'linkDetach 0 $h'
  check "$a the name listed for COM12 attaches" grep -qx 'print closeSerial: Successful!' <<<"$block" -- "$block"

  # The Incoming port attaches, after a warning; the Outgoing one without.
  local note="a Bluetooth link's Incoming port, which waits for the controller to call: attach its Outgoing port"
  note+=" (linkPorts names it)"
  rcall "h = linkAttach 1 s:COM6 d:115200 d:8 d:0 d:5" 'linkDetach 0 $h' \
    "h = linkAttach 1 s:COM5 d:115200 d:8 d:0 d:5" 'linkDetach 0 $h'
  expect "$a linkAttach warns of a Bluetooth link's Incoming port and attaches it, the Outgoing one without" <<EOF
call linkAttach
print *hSerial: H
warning COM6: $note
id mexlink:incomingPort
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
call linkDetach
print closeSerial: Successful!
ok
call linkAttach
print *hSerial: H
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
call linkDetach
print closeSerial: Successful!
ok
EOF
  # An Incoming port that fails to open, mapped to nothing, then to a
  # folder: the cause names it, after the system's words where there are any.
  rcall "h = linkAttach 1 s:COM8 d:115200 d:8 d:0 d:5"
  local missing=$block
  ln -sfn "$work" "$WINEPREFIX/dosdevices/com8"
  rcall "h = linkAttach 1 s:com8 d:115200 d:8 d:0 d:5"
  rm -f "$WINEPREFIX/dosdevices/com8"
  block=$missing$'\n'$block
  expect "$a an Incoming port's failing open: the cause names it" <<EOF
call linkAttach
print *hSerial: -1
warning COM8: $note (mexlink:noSuchPort)
id mexlink:openCause
error Error: serial port does not exist
id mexlink:noSuchPort
failed
call linkAttach
print *hSerial: -1
warning com8: the system would not open it: Access denied; $note (mexlink:openFailed)
id mexlink:openCause
error Error: opening the serial port
id mexlink:openFailed
failed
EOF
  out=$(timeout 60 "$wine" reg delete 'HKLM\System\CurrentControlSet\Enum\BTHENUM' /f </dev/null 2>&1)
  check "$a the Bluetooth device entries removed" [ $? = 0 ] -- "$out"
}
