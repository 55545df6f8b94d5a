#!/usr/bin/env bash
# The release as its users get it (dist/release/, made by
# scripts/make_release.sh), unpacked into an empty folder and used from there,
# with nothing of the checkout on the path:
#   - the checksums, and the zip holds what a MATLAB user needs (the
#     simulator, linksim.exe, among it), nothing more;
#   - made again, the release is the same to the byte;
#   - in Octave, each folder's help texts, Contents.m and the guard its help
#     files run where its Windows plug-ins cannot load (test_release_folders.m);
#   - the Octave package from the release, installed into a fresh prefix and
#     used against the simulator (tests/toolbox/test_package.m);
#   - under Wine, the stand-in host loads every plug-in of the unpacked win64
#     folder, and of win32 where 32-bit Wine runs, and drives the simulator:
#     the Linux one on COM5, and the unpacked simulator/linksim.exe on TCP,
#     as a Windows user without a robot would. The host comes from the build
#     (DIST/winXX/testhost), not from the zip.
#
#   run_release_test.sh RELEASE_DIR DIST LINKSIM
#
# WINE32, WINE64, WINESERVER and KEEP_WINE_TMP as for tests/wine/run_wine_tests.sh.
set -u
release=$(cd "$1" && pwd) || exit 2
dist=$(cd "$2" && pwd) || exit 2
linksim=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
WINE32=${WINE32:-/usr/lib/wine/wine}
WINE64=${WINE64:-/usr/lib/wine/wine64}
version=$(head -n1 "$source_dir/VERSION" | tr -d '[:space:]')
commands=$(basename -s .cpp "$source_dir"/commands/*.cpp)

source "$source_dir/tests/wine/harness.sh"
unpacked=$work/user
mkdir -p "$unpacked"

# ---------------------------------------------------------------- the files
check "SHA256SUMS holds both archives and matches them" \
  bash -c 'cd "$1" && [ "$(cut -d" " -f3 SHA256SUMS | sort)" = "$(ls *.zip *.tar.gz | sort)" ] && sha256sum --quiet -c SHA256SUMS' \
  _ "$release" -- "$(cat "$release/SHA256SUMS")"
zip=$release/mexlink-$version-windows.zip
check "the zip unpacks" unzip -q "$zip" -d "$unpacked" -- "$(unzip -l "$zip" 2>&1 | tail -n3)"

expected_files() {
  local arch suffix name
  printf '%s\n' LICENSE README.md README.txt simulator/linksim.exe
  (cd "$source_dir" && find examples -type f)
  for arch in win32:mexw32 win64:mexw64; do
    IFS=: read -r arch suffix <<<"$arch"
    for name in $commands; do
      printf '%s\n' "$arch/$name.m" "$arch/$name.$suffix"
    done
    printf '%s\n' "$arch/Contents.m" "$arch/mexlink.m" "$arch/private/plugin_not_loaded.m"
  done
}
got=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
want=$(expected_files | LC_ALL=C sort)
check "the zip holds the plug-ins with their help for each architecture, the simulator, the examples and the texts" \
  [ "$got" = "$want" ] -- "$(diff <(echo "$want") <(echo "$got"))"
check "README.txt names this version and how to install" \
  grep -q "mexlink $version for MATLAB on Windows" "$unpacked/README.txt" -- "$(head -n3 "$unpacked/README.txt")"
again=$work/again
bash "$source_dir/scripts/make_release.sh" "$again" >/dev/null 2>&1
check "the release made again is the same to the byte" cmp -s "$release/SHA256SUMS" "$again/SHA256SUMS" \
  -- "$(diff "$release/SHA256SUMS" "$again/SHA256SUMS" 2>&1)"

# ---------------------------------------------------------------- Octave
octave_part() { # NAME TEST_FILE [VAR=VALUE...]
  local name=$1 test_file=$2 log=$work/$1.log
  shift 2
  if env "$@" bash "$source_dir/tests/toolbox/run_toolbox_test.sh" "$test_file" "$linksim" "$source_dir" \
       >"$log" 2>&1; then
    pass "$name: $(tail -n1 "$log")"
  else
    fail "$name" "$(tail -n 30 "$log")"
  fi
}
octave_part "Octave reads the unpacked folders" "$here/test_release_folders.m" MEXLINK_RELEASE_FOLDER="$unpacked"
octave_part "the Octave package from the release" "$source_dir/tests/toolbox/test_package.m" \
  MEXLINK_PACKAGE="$release/mexlink-$version.tar.gz"

# ---------------------------------------------------------------- Wine
# Every command from the unpacked folder, in one session against the
# simulator SIM on port NAME, which sends a status frame when asked (sim_ctl
# SIM frame).
session() { # ARCH SIM NAME
  local a=$1 s=$2 why log=${2}_log
  log=${!log}
  rcall "h = linkAttach 1 s:$3 d:115200 d:8 d:0 d:20"
  check "$a linkAttach" grep -qx 'print openSerial: Successful!' <<<"$block" -- "$block" "$(cat "$run_dir/run.err")"
  rcall 'linkRun 0 $h s:drive' 'linkGains 0 $h d:1 d:2 d:3' 'linkSend 0 $h d:1 d:-1 d:100'
  check "$a linkRun, linkGains, linkSend" [ "$(grep -cx ok <<<"$block")" = 3 ] -- "$block"
  check "$a ... reach the controller" wait_log "$log" 'setpoints 5 -5 100' -- "$(tail -n5 "$log")"
  check "$a ... gains on the wire" grep -qx 'mailbox 1: 001 002 003' "$log" -- "$(tail -n5 "$log")"
  sim_ctl "$s" frame
  rcall 'linkState 2 $h'
  why=$(logged_status "$log")
  check "$a linkState decodes the controller's frame" [ $? = 0 ] -- "$why" "$block"
  sim_ctl "$s" send 01 02 03 04 05 06 07
  rcall 'linkPeek 1 $h'
  check "$a linkPeek" grep -qx 'out1 class=uint8 size=7x1 values=1,2,3,4,5,6,7' <<<"$block" -- "$block"
  rcall 'linkHalt 0 $h' 'linkDetach 0 $h'
  check "$a linkHalt, linkDetach" grep -qx 'print closeSerial: Successful!' <<<"$block" -- "$block"
  check "$a ... stop on the wire" wait_log "$log" 'stop' -- "$(tail -n5 "$log")"
}

wine_part() { # ARCH LOADER
  local a=$1 folder=$unpacked/$1 host=$dist/$1/testhost
  [ -x "$host/mexrun.exe" ] || { fail "$a stand-in host in $host" "run scripts/build_windows.sh"; return; }
  mkdir -p "$work/$a"
  wine_prefix "$work/$a/prefix" "$2" "$a" || return
  start_sim sim com5 --period 60000 || return
  timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1   # device links from the registry too
  # The harness runs DIST/testhost/mexrun.exe in DIST: the build's host,
  # linked in for the session and gone again before anything else looks.
  ln -s "$host" "$folder/testhost"
  start_runner "$folder" "$work/$a"
  session "$a" sim COM5
  if start_exe_sim exe "$unpacked/simulator/linksim.exe" --period 60000; then
    session "$a (simulator/linksim.exe on TCP)" exe "$exe_device"
    bash "$launcher" stop "$exe_dir" >/dev/null 2>&1
  fi
  stop_runner
  rm "$folder/testhost"
  check_quiet "$a" runner "$work/$a/run.err"
  timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1
}

wine_part win64 "$WINE64"
if win32_loader "$WINE32"; then
  wine_part win32 "$loader"
fi
[ "$failed" -eq 0 ]
