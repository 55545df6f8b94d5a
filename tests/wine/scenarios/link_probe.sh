# linkProbe through a COM port on the simulator's USB-adapter link (a 16 ms
# latency timer: frames that straddle it come in two pieces 16 ms apart),
# then linkState at the T the README gives for that link. Only the frame
# size is checked of the probe: Wine's serial ports hand a read's bytes over
# when its wait (a 50 ms slice) ends, not as soon as some arrived as Windows
# does with MAXDWORD/MAXDWORD/constant time-outs, so the gaps it sees are
# Wine's, longer still under the 32-bit emulator. A frame every 200 ms
# leaves quiets of several slices between frames, which tells them apart
# even so; at 50 ms the 32-bit run once saw no quiet at all.
scenario_link_probe() { # ARCH
  local a=$1 bytes
  start_sim sim_usb com8 --link usb --seed 3 --period 200 --autostart drive || return
  rcall "linkProbe 1 s:COM8 d:115200 d:8 d:0 d:4"
  bytes=$(sed -n 's/^out1(1).frameBytes class=double size=1x1 values=//p' <<<"$block")
  check "$a linkProbe through COM8 on the USB-adapter link: frames of 23 bytes" [ "$bytes" = 23 ] -- "$block"
  local calls=('h = linkAttach 1 s:COM8 d:115200 d:8 d:0 d:30' 'linkState 2 $h')
  for _ in $(seq 20); do calls+=('linkState 2 $h'); done
  rcall "${calls[@]}"
  local values flags why
  values=$(values_of 1 | tail -n 20 | tr '\n' ';')
  flags=$(values_of 2 | sort -u)
  check "$a linkState at T = 30 on that link: 21 frames, none short" \
    [ "$(values_of 2 | wc -l)" = 21 -a "$flags" = 0 ] -- "$block"
  why=$(octave-cli --norc --no-history --no-window-system --path "$octave_lib" \
    --eval "v = [$values].'; for k = 1:20, assert(v(:, k), logged_status('$sim_usb_log', v(1, k)), 1e-9); end" \
    </dev/null 2>&1)
  check "$a ... each with the values the simulator sent in that frame" [ $? = 0 ] -- "$why"
  rcall 'linkDetach 0 $h'
}
