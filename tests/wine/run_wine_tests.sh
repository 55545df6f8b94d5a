#!/usr/bin/env bash
# The Windows plug-ins under Wine: each build is loaded into the stand-in host
# (testhost/mexrun.exe) in a fresh Wine prefix, with linksim playing the
# controller on a pseudo-terminal mapped to COM5 (and a flooding one on COM6),
# and on TCP, as itself and as the simulator built for Windows
# (DIST_WIN64/../simulator/linksim.exe) under Wine; and linksim.exe serving a
# Linux client on TCP.
#
#   run_wine_tests.sh DIST_WIN32 DIST_WIN64 LINKSIM
#
# DIST_WINxx holds the plug-ins and testhost/ (scripts/build_windows.sh lays
# them out so). harness.sh holds the machinery, scenarios/*.sh the checks.
# On a kernel that runs no 32-bit code, win32 runs under qemu-i386
# (emulation/). Environment: WINE32, WINE64 (the loaders), WINESERVER,
# OBJDUMP; MEXLINK_WINE_REQUIRE32=1 turns a host that cannot run 32-bit Wine
# from a skip into a failure; KEEP_WINE_TMP=1 keeps the work folder. Ends
# with "N passed, N failed"; exits non-zero on any failure.
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 DIST_WIN32 DIST_WIN64 LINKSIM" >&2
  exit 2
fi
dist32=$(cd "$1" && pwd) || exit 2
dist64=$(cd "$2" && pwd) || exit 2
linksim=$3
[ -x "$linksim" ] || { echo "linksim not found: $linksim" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
WINE32=${WINE32:-/usr/lib/wine/wine}
WINE64=${WINE64:-/usr/lib/wine/wine64}
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}
commands=$(basename -s .cpp "$here"/../../commands/*.cpp | tr '\n' ' ')

source "$here/harness.sh"
for scenario in "$here"/scenarios/*.sh; do
  source "$scenario"
done

run_arch() { # ARCH DIST LOADER
  local a=$1 dist=$2
  local dir=$work/$a
  mkdir -p "$dir"
  local t0=$SECONDS
  wine_prefix "$dir/prefix" "$3" "$a" || return
  echo "-- $a$(under_emulation): prefix ready in $((SECONDS - t0)) s"

  start_sim sim_a com5 --period 60000 || return
  start_sim sim_b com6 --fault stream --autostart drive || return
  # The first simulator again under a number from COM10 on, for linkPorts.
  map_port com12 "$sim_a_device"
  # Restart the server: the device links now come from the registry too.
  timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1
  start_runner "$dist" "$dir"
  runner_canary "$a" || { stop_runner; return; }
  rcall "linkHalt 0 u32:4294967295"
  check "$a runner loads the plug-ins" grep -qx "error Error: serial port does not exist" <<<"$block" -- \
    "$block" "$(cat "$dir/run.err")"
  local ports
  ports=$(timeout 30 "$wine" reg query 'HKLM\Software\Wine\Ports' </dev/null 2>/dev/null | tr -d '\r')
  check "$a COM5 in the registry" grep -Eq "COM5 +REG_SZ +$sim_a_device\$" <<<"$ports" -- "$ports"
  check "$a COM6 in the registry" grep -Eq "COM6 +REG_SZ +$sim_b_device\$" <<<"$ports" -- "$ports"
  check "$a device links kept after the server restart" \
    [ "$(readlink "$WINEPREFIX/dosdevices/com5")" = "$sim_a_device" ] -- \
    "com5 -> $(readlink "$WINEPREFIX/dosdevices/com5")"

  scenario_arguments "$a"
  scenario_ports "$a"
  scenario_open_failures "$a"
  scenario_port "$a" sim_a
  scenario_zero_timeout "$a" sim_a
  scenario_flood "$a"
  scenario_interrupt "$a" sim_a
  scenario_port_settings "$a" sim_a
  scenario_stall "$a" sim_a
  scenario_lifecycle "$a" sim_a sim_b
  scenario_sockets "$a" "$(dirname "$dist")/simulator/linksim.exe"
  scenario_link_probe "$a"
  stop_runner
  scenario_exit_fault "$a" "$dist" "$dir"
  # The simulator is built for 64-bit Windows only.
  [ "$a" = win64 ] && scenario_simulator_exe "$a" "$(dirname "$dist")/simulator/linksim.exe"
  # A backstop for checks that look at the wire only: the stand-in host
  # reports a plug-in that breaks the host's rules as an error of its own.
  local faults
  faults=$(grep '^error runner: ' "$dir/run.out" | sort | uniq -c)
  check "$a no call broke the host's rules (no \"error runner:\" report)" [ -z "$faults" ] -- "$faults"
  check_quiet "$a" runner "$dir/run.err"
  timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1
  echo "-- $a: done in $((SECONDS - t0)) s"
}

t_start=$SECONDS
static_checks win32 "$dist32" mexw32 pei-i386
static_checks win64 "$dist64" mexw64 pei-x86-64
def_checks win32 "$dist32" mexw32
def_checks win64 "$dist64" mexw64
matlab_entry_checks win32 "$dist32" mexw32
matlab_entry_checks win64 "$dist64" mexw64
ports_static_checks win32 "$dist32" mexw32
ports_static_checks win64 "$dist64" mexw64
simulator_checks "$(dirname "$dist64")/simulator/linksim.exe"

if win32_loader "$WINE32"; then
  run_arch win32 "$dist32" "$loader"
elif [ -n "$skipped_note" ]; then
  skipped_note+="; static checks only"
fi
run_arch win64 "$dist64" "$WINE64"

echo "-- total $((SECONDS - t_start)) s"
[ "$failed" -eq 0 ]
