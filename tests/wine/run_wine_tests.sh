#!/usr/bin/env bash
# The Windows plug-ins under Wine: each build is loaded into the stand-in host
# (testhost/mexrun.exe) in a fresh Wine prefix, with linksim playing the
# controller on a pseudo-terminal mapped to COM5 (and a flooding one on COM6).
#
#   run_wine_tests.sh DIST_WIN32 DIST_WIN64 LINKSIM
#
# DIST_WINxx holds the eight plug-ins and testhost/{mexrun.exe,libmx.dll,libmex.dll}
# (scripts/build_windows.sh lays them out so). Environment: WINE32, WINE64 (the
# loaders), WINESERVER, OBJDUMP; MEXLINK_WINE_REQUIRE32=1 turns a host that
# cannot run 32-bit Wine from a skip into a failure; KEEP_WINE_TMP=1 keeps the
# work folder. Ends with "N passed, N failed"; exits non-zero on any failure.
set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 DIST_WIN32 DIST_WIN64 LINKSIM" >&2
    exit 2
fi
DIST32=$(cd "$1" && pwd) || exit 2
DIST64=$(cd "$2" && pwd) || exit 2
LINKSIM=$3
[ -x "$LINKSIM" ] || { echo "linksim not found: $LINKSIM" >&2; exit 2; }

HERE=$(cd "$(dirname "$0")" && pwd)
WINE32=${WINE32:-/usr/lib/wine/wine}
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}
COMMANDS="linkAttach linkDetach linkRun linkHalt linkSend linkGains linkState linkPeek"

WORK=$(mktemp -d /tmp/mexlink-wine.XXXXXX)
PASSED=0
FAILED=0
SKIPPED_NOTE=""
SIM_PIDS=()
PREFIXES=()
RUNNER_PID=""

cleanup() {
    [ -n "$RUNNER_PID" ] && kill "$RUNNER_PID" 2>/dev/null
    for pid in "${SIM_PIDS[@]}"; do
        kill -CONT "$pid" 2>/dev/null
        kill "$pid" 2>/dev/null
    done
    for prefix in "${PREFIXES[@]}"; do
        WINEPREFIX=$prefix timeout 20 "$WINESERVER" -k >/dev/null 2>&1
    done
    if [ "${KEEP_WINE_TMP:-0}" = 1 ] || [ "$FAILED" -ne 0 ]; then
        echo "work folder kept: $WORK"
    else
        rm -rf "$WORK"
    fi
    # The summary closes every run, an interrupted one too.
    [ -n "$SKIPPED_NOTE" ] && echo "SKIPPED $SKIPPED_NOTE"
    echo "$PASSED passed, $FAILED failed"
}
trap cleanup EXIT
trap 'fail "interrupted"; exit 130' INT TERM
# A runner that died (or closed its input) must fail the checks, not end the script.
trap '' PIPE

not() { ! "$@"; }
pass() { PASSED=$((PASSED + 1)); echo "PASS $*"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL $1"; shift; [ $# -gt 0 ] && printf '    %s\n' "$@"; }

# check NAME CONDITION-COMMAND... [-- DETAIL]
check() {
    local name=$1; shift
    local detail=()
    local cmd=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do cmd+=("$1"); shift; done
    [ $# -gt 0 ] && { shift; detail=("$@"); }
    if "${cmd[@]}"; then pass "$name"; else fail "$name" "${detail[@]}"; fi
}

# ---------------------------------------------------------------- static checks
# Each plug-in exports mexFunction alone and imports only Windows system DLLs
# and the host's libmx.dll/libmex.dll; every name it takes from those two is
# one the stand-in host exports.
allowed_dll='^(kernel32|msvcrt|ntdll|advapi32|user32|ws2_32|libmx|libmex|api-ms-win-[a-z0-9-]+)\.dll$'

exports_of() { "$OBJDUMP" -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[[:space:]]*\[/ {print $NF; next} t {t=0}'; }
dlls_of() { "$OBJDUMP" -p "$1" | awk '/DLL Name:/ {print $3}'; }
imports_from() { # FILE DLL
    "$OBJDUMP" -p "$1" | awk -v dll="$2" '
        /DLL Name:/ {on = ($3 == dll); next}
        on && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+/ {print $3; next}
        on && NF == 0 {on = 0}'
}

# The import lists the plug-ins were linked against (host/*.def.in, mapped
# for the architecture) name exactly what they take from the host.
def_checks() { # ARCH DIST SUFFIX
    local arch=$1 dist=$2 suffix=$3 lib
    for lib in libmx libmex; do
        local listed used
        listed=$(awk 'on && $1 !~ /^;/ && NF {print $1} /^EXPORTS/ {on=1}' "$dist/testhost/$lib.def" | sort)
        used=$(for f in "$dist"/*."$suffix"; do imports_from "$f" "$lib.dll"; done | sort -u)
        check "$arch $lib.def lists exactly the names the plug-ins import" [ "$listed" = "$used" ] -- \
            "$(diff <(echo "$listed") <(echo "$used"))"
    done
}

# Every name a plug-in takes from libmx.dll or libmex.dll is one that MATLAB's
# own libraries export (matlab_win64_exports.txt, read off a 64-bit release).
# A 64-bit plug-in must not bind to a plain name marked as the legacy twin
# with 32-bit int sizes; 32-bit MATLAB exports only plain names, whose sizes
# are as wide as size_t there, so for .mexw32 any listed name will do.
matlab_entry_checks() { # ARCH DIST SUFFIX
    local arch=$1 dist=$2 suffix=$3 cmd lib name entry
    local list=$HERE/matlab_win64_exports.txt
    for cmd in $COMMANDS; do
        local unlisted="" legacy="" names=""
        for lib in libmx libmex; do
            for name in $(imports_from "$dist/$cmd.$suffix" "$lib.dll"); do
                names+="$name "
                entry=$(awk -v d="$lib.dll" -v n="$name" '$1 == d && $2 == n {print ($3 == "" ? "plain" : $3)}' "$list")
                [ -z "$entry" ] && unlisted+="$lib.dll:$name "
                [ "$suffix" = mexw64 ] && [ "$entry" = int-twin ] && legacy+="$lib.dll:$name "
            done
        done
        check "$arch $cmd: imports only entry points MATLAB exports" [ -z "$unlisted" ] -- "not exported: $unlisted"
        check "$arch $cmd: no legacy 32-bit-size entry point" [ -z "$legacy" ] -- "legacy: $legacy"
        echo "    $arch $cmd imports: $names"
    done
}

static_checks() { # ARCH DIST SUFFIX FORMAT
    local arch=$1 dist=$2 suffix=$3 format=$4
    local host_mx host_mex
    host_mx=$(exports_of "$dist/testhost/libmx.dll" | sort)
    host_mex=$(exports_of "$dist/testhost/libmex.dll" | sort)
    for cmd in $COMMANDS; do
        local f=$dist/$cmd.$suffix
        if [ ! -f "$f" ]; then
            fail "$arch $cmd: plug-in present" "missing $f"
            continue
        fi
        local fmt exports dlls bad missing=""
        fmt=$("$OBJDUMP" -f "$f" | awk '/file format/ {print $NF}')
        exports=$(exports_of "$f" | tr '\n' ' ')
        dlls=$(dlls_of "$f" | tr '\n' ' ')
        bad=$(dlls_of "$f" | grep -viE "$allowed_dll" | tr '\n' ' ')
        for name in $(imports_from "$f" libmx.dll); do
            grep -qx "$name" <<<"$host_mx" || missing+="libmx.dll:$name "
        done
        for name in $(imports_from "$f" libmex.dll); do
            grep -qx "$name" <<<"$host_mex" || missing+="libmex.dll:$name "
        done
        check "$arch $cmd: $format image" [ "$fmt" = "$format" ] -- "format $fmt"
        check "$arch $cmd: exports only mexFunction" [ "$exports" = "mexFunction " ] -- "exports: $exports"
        check "$arch $cmd: imports only system DLLs and libmx/libmex" [ -z "$bad" ] -- "imports: $dlls"
        check "$arch $cmd: host names resolve in the stand-in" [ -z "$missing" ] -- "unresolved: $missing"
    done
}

# ---------------------------------------------------------------- simulator
# start_sim VAR PORT ARGS...: starts linksim, maps PORT (e.g. com5) to its
# pseudo-terminal; VAR_fd / VAR_out / VAR_log / VAR_pts name its control pipe,
# replies, telegram log and device.
start_sim() {
    local var=$1 port=$2; shift 2
    local dir=$AW/$var
    mkdir -p "$dir"
    mkfifo "$dir/ctl"
    "$LINKSIM" --log "$dir/log" --control "$@" <"$dir/ctl" >"$dir/out" 2>"$dir/err" &
    SIM_PIDS+=($!)
    local fd
    exec {fd}>"$dir/ctl"
    local pts="" i
    for i in $(seq 100); do
        pts=$(head -n1 "$dir/out" 2>/dev/null)
        [ -n "$pts" ] && break
        sleep 0.05
    done
    [ -c "$pts" ] || { fail "$var: linksim started" "$(cat "$dir/err")"; return 1; }
    printf -v "${var}_fd" %s "$fd"
    printf -v "${var}_out" %s "$dir/out"
    printf -v "${var}_log" %s "$dir/log"
    printf -v "${var}_pts" %s "$pts"
    printf -v "${var}_pid" %s "${SIM_PIDS[-1]}"
    # Both ways Wine knows a port: the registry (mountmgr rebuilds the device
    # links from it when the server starts) and the device link itself.
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "${port^^}" /t REG_SZ /d "$pts" /f </dev/null >/dev/null 2>&1
    ln -sfn "$pts" "$WINEPREFIX/dosdevices/$port"
}

# sim_ctl VAR COMMAND: one control command, answered with "ok".
sim_ctl() {
    local var=$1; shift
    local fdv=${var}_fd outv=${var}_out
    local before i
    before=$(wc -l <"${!outv}")
    echo "$*" >&"${!fdv}"
    for i in $(seq 200); do
        [ "$(wc -l <"${!outv}")" -gt "$before" ] && break
        sleep 0.02
    done
    [ "$(tail -n1 "${!outv}")" = ok ]
}

# wait_log FILE LINE: until the simulator logged exactly LINE (5 s at most).
wait_log() {
    local i
    for i in $(seq 250); do
        grep -Fxq -- "$2" "$1" && return 0
        sleep 0.02
    done
    return 1
}

# ---------------------------------------------------------------- runner
# One mexrun process per architecture serves every call, fed line by line.
start_runner() { # DIST
    mkfifo "$AW/run.in"
    (cd "$1" && exec "$WINE" testhost/mexrun.exe -d . - <"$AW/run.in" >"$AW/run.out" 2>"$AW/run.err") &
    RUNNER_PID=$!
    exec {RUN_FD}>"$AW/run.in"
}

stop_runner() {
    exec {RUN_FD}>&-
    local i
    for i in $(seq 100); do
        kill -0 "$RUNNER_PID" 2>/dev/null || break
        sleep 0.05
    done
    kill "$RUNNER_PID" 2>/dev/null
    wait "$RUNNER_PID" 2>/dev/null
    RUNNER_PID=""
}

ends() { grep -cxE 'ok|failed' "$AW/run.out"; }

# rsend LINE...: hands lines to the runner without waiting.
rsend() {
    RUN_MARK=$(wc -l <"$AW/run.out")
    RUN_ENDS=$(ends)
    RUN_COUNT=$#
    printf '%s\n' "$@" >&"$RUN_FD" 2>/dev/null
}

# rwait: until every line of the last rsend has finished (60 s at most);
# RAW gets their output, BLOCK the same without "ms" lines and with port
# handle values as H, MS the last call's time.
rwait() {
    local i
    for i in $(seq 3000); do
        [ "$(ends)" -ge $((RUN_ENDS + RUN_COUNT)) ] && break
        kill -0 "$RUNNER_PID" 2>/dev/null || break
        sleep 0.02
    done
    RAW=$(tail -n +$((RUN_MARK + 1)) "$AW/run.out")
    MS=$(grep '^ms ' <<<"$RAW" | tail -n1 | cut -d' ' -f2)
    MS=${MS:--1}
    BLOCK=$(grep -v '^ms ' <<<"$RAW" \
        | sed -E 's/^print \*hSerial: [0-9]+$/print *hSerial: H/; s/^(out1 class=uint32 size=1x1 values=)[0-9]+$/\1H/')
}

rcall() { rsend "$@"; rwait; }

# expect NAME: the last block must equal stdin.
expect() {
    local want
    want=$(cat)
    if [ "$BLOCK" = "$want" ]; then
        pass "$1"
    else
        fail "$1" "expected:" "$want" "got:" "$BLOCK"
    fi
}

# until_call NAME: until the runner has started the call it was handed.
until_call() {
    local i
    for i in $(seq 500); do
        tail -n +$((RUN_MARK + 1)) "$AW/run.out" | grep -qx "call $1" && return 0
        sleep 0.02
    done
    return 1
}

values_of() { grep "^out$1 " <<<"$BLOCK" | sed 's/.*values=//'; }

# The decoded status (out1, out2) against the simulator's "frame" log line
# with that sequence number: the four words exactly, angles to 1e-9.
decoded_matches_frame() { # LOG
    local values flag seq line
    values=$(values_of 1)
    flag=$(values_of 2)
    [ "$flag" = 0 ] || { echo "isShort=$flag"; return 1; }
    seq=${values%%,*}
    line=$(grep -E '^frame ' "$1" | tail -n1)
    [ "$(cut -d' ' -f3 <<<"$line")" = "$seq" ] || { echo "frame $seq is not the newest: $line"; return 1; }
    awk -v got="$values" -v line="$line" 'BEGIN {
        n = split(got, g, ","); split(line, f, " ")
        if (n != 7) { print "values: " got; exit 1 }
        for (k = 1; k <= 4; k++) if (g[k] != f[k + 2]) { print "word " k ": " g[k] " vs " f[k + 2]; exit 1 }
        for (k = 5; k <= 7; k++) {
            want = f[k + 2] * 0.017444444; d = g[k] - want
            if (d > 1e-9 || d < -1e-9) { print "angle " k - 4 ": " g[k] " vs " want; exit 1 }
        }
    }'
}

in_range() { [ "$1" -ge "$2" ] && [ "$1" -lt "$3" ]; }

# ---------------------------------------------------------------- scenarios
scenario_arguments() { # ARCH
    local a=$1
    rcall "linkAttach 1 s:COM5 d:115200 d:8 d:0"
    expect "$a linkAttach: four arguments" <<'EOF'
call linkAttach
error Error: five input arguments required
failed
EOF
    rcall "linkAttach 2 s:COM5 d:115200 d:8 d:0 d:20"
    expect "$a linkAttach: two outputs" <<'EOF'
call linkAttach
error Error: too many output arguments
failed
EOF
    rcall "linkAttach 1 d:5 d:115200 d:8 d:0 d:20" "linkAttach 1 c2:CO,M5 d:115200 d:8 d:0 d:20" \
          "linkAttach 1 s:COM5 s:fast d:8 d:0 d:20" "linkAttach 1 s:COM5 d:115200 cell: d:0 d:20" \
          "linkAttach 1 s:COM5 d:115200 d:8 sp: d:20" "linkAttach 1 s:COM5 d:115200 d:8 d:0 e:double"
    expect "$a linkAttach: argument types" <<'EOF'
call linkAttach
error Error: arg0 must be a string
failed
call linkAttach
error Error: arg0 must be a row vector
failed
call linkAttach
error Error: arg1 must be a number
failed
call linkAttach
error Error: arg2 must be a number
failed
call linkAttach
error Error: arg3 must be a number
failed
call linkAttach
error Error: arg4 must be a number
failed
EOF
    rcall "linkSend 0 u8:1 d:1 d:2 d:3" "linkSend 0 e:u32 d:1 d:2 d:3" "linkSend 0 zu32:8 d:1 d:2 d:3" \
          "linkPeek 1 d:8" "linkState 2 i32:8" "linkDetach 0 s:COM5" "linkGains 0 u32:8 d:1 d:2" \
          "linkSend 0 u32:8 d:1 d:2 struct:" "linkRun 0 u32:8 d:1" "linkRun 0 u32:8 s:abcdefghijklmnop" \
          "linkRun 0 u32:8 c2:ab,cd"
    expect "$a argument checks" <<'EOF'
call linkSend
error Error: invalid port handle
failed
call linkSend
error Error: invalid port handle
failed
call linkSend
error Error: invalid port handle
failed
call linkPeek
error Error: invalid port handle
failed
call linkState
error Error: invalid port handle
failed
call linkDetach
error Error: invalid port handle
failed
call linkGains
error Error: four input arguments required
failed
call linkSend
error Error: arg3 must be a number
failed
call linkRun
error Input must be a string
failed
call linkRun
error Error: data should be a linear vector or is too long
failed
call linkRun
error Error: data should be a linear vector or is too long
failed
EOF
    rcall "linkHalt 1 u32:8" "linkState 3 u32:8" "linkDetach 1 u32:8" "linkDetach 1" "linkDetach 0 u32:8 u32:8" \
          "linkHalt 0 u32:4294967295" "linkRun 0 u32:4294967295 s:drive" "linkDetach 0 u32:4294967295" \
          "linkGains 0 u32:8 d:0 d:256 d:1" "linkGains 0 u32:8 d:-1 d:0 d:1" "linkGains 0 u32:8 d:0 d:0 d:nan"
    expect "$a counts, missing port and gain range" <<'EOF'
call linkHalt
error Error: too many output arguments
failed
call linkState
error Error: too many output arguments
failed
call linkDetach
error Error: too many output arguments
failed
call linkDetach
error Error: one input arguments required
failed
call linkDetach
error Error: too many input arguments
failed
call linkHalt
error Error: serial port does not exist
failed
call linkRun
error Error: serial port does not exist
failed
call linkDetach
error Error: serial port does not exist.
failed
call linkGains
error Error: invalid motor PID value(s)
failed
call linkGains
error Error: invalid motor PID value(s)
failed
call linkGains
error Error: invalid motor PID value(s)
failed
EOF

    # Handles that name no port (nothing is open yet): never written, read or
    # closed, whatever the value. Closing one of the runner's own handles
    # would cut its output short, so the next call's reply also proves that.
    local lines=() h
    for h in 0 4 8 12 16 20 24 28 32 36 40 44 48 52 56 60 64 7 2147483648 4294967294; do
        lines+=("linkDetach 0 u32:$h" "linkPeek 1 u32:$h" "linkState 2 u32:$h" "linkSend 0 u32:$h d:1 d:1 d:1")
    done
    rcall "${lines[@]}"
    local want="" n=0
    for h in 0 4 8 12 16 20 24 28 32 36 40 44 48 52 56 60 64 7 2147483648 4294967294; do
        want+=$'call linkDetach\nerror Error: could not close serial port.\nfailed\n'
        want+=$'call linkPeek\nerror Error: could not read from serial port\nfailed\n'
        want+=$'call linkState\nerror Error: could not read from serial port\nfailed\n'
        want+=$'call linkSend\nerror Error: could not write to serial port\nfailed\n'
        n=$((n + 1))
    done
    BLOCK+=$'\n'
    check "$a $n handle values that name no port are left alone" [ "$BLOCK" = "$want" ] -- \
        "$(diff <(echo "$want") <(echo "$BLOCK") | head -20)"
    rcall "linkHalt 0 u32:4294967295"
    check "$a runner still answers after the foreign handles" grep -qx "error Error: serial port does not exist" <<<"$BLOCK"
}

scenario_open_failures() { # ARCH
    local a=$1
    rcall "linkAttach 1 s:COM9 d:115200 d:8 d:0 d:20"
    expect "$a missing port" <<'EOF'
call linkAttach
print *hSerial: -1
error Error: serial port does not exist
failed
EOF
    rcall 'linkAttach 1 s:C:\\windows d:115200 d:8 d:0 d:20'
    expect "$a a folder is no port" <<'EOF'
call linkAttach
print *hSerial: -1
error Error: opening the serial port
failed
EOF
    rcall 'linkAttach 1 s:C:\\windows\\win.ini d:115200 d:8 d:0 d:20'
    expect "$a a file opens but takes no port state" <<'EOF'
call linkAttach
print *hSerial: H
error Error: setting serial port state
failed
EOF
    rcall "linkAttach 1 s:COM5 d:115200 d:9 d:0 d:20" "linkAttach 1 s:COM5 d:115200 d:8 d:5 d:20"
    expect "$a byte size 9 and parity 5 refused" <<'EOF'
call linkAttach
print *hSerial: H
error Error: setting serial port state
failed
call linkAttach
print *hSerial: H
error Error: setting serial port state
failed
EOF
    rcall "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:-1" "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:-0.5"
    expect "$a negative time-out refused, -0.5 truncates to 0" <<'EOF'
call linkAttach
print *hSerial: H
error Error: setting timeout
failed
call linkAttach
print *hSerial: H
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
EOF
    rcall 'linkDetach 0 $h'
    expect "$a close after the T=0 open" <<'EOF'
call linkDetach
print closeSerial: Successful!
ok
EOF
}

scenario_port() { # ARCH SIM
    local a=$1 s=$2
    local log=${s}_log
    log=${!log}

    rcall "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20"
    expect "$a attach COM5" <<'EOF'
call linkAttach
print *hSerial: H
print openSerial: Successful!
out1 class=uint32 size=1x1 values=H
ok
EOF

    # The kernel ignores a handle's two low bits; values with them set are
    # refused rather than acted on as the port.
    local handle
    handle=$(sed -n 's/^out1 class=uint32 size=1x1 values=//p' <<<"$RAW")
    rcall "linkPeek 1 u32:$((handle + 1))" "linkSend 0 u32:$((handle + 2)) d:0 d:0 d:0" "linkDetach 0 u32:$((handle + 3))"
    expect "$a the port's handle with low bits set is no port" <<'EOF'
call linkPeek
error Error: could not read from serial port
failed
call linkSend
error Error: could not write to serial port
failed
call linkDetach
error Error: could not close serial port.
failed
EOF

    # Bytes on the wire.
    rcall 'linkRun 0 $h s:abc'
    check "$a linkRun('abc') on the wire" wait_log "$log" 'start "abc"' -- "log: $(tail -n3 "$log")"
    rcall 'linkRun 0 $h s:a\x0d\x0ab\x11\x13\xff\x03'
    check "$a linkRun passes CR, LF, XON, XOFF, 0xFF, ^C untouched" \
        wait_log "$log" 'start "a\x0d\x0ab\x11\x13\xff\x03"' -- "log: $(tail -n3 "$log")"
    rcall 'linkRun 0 $h s:drive'
    check "$a linkRun('drive') starts the program" wait_log "$log" 'program drive running'
    rcall 'linkSend 0 $h d:1 d:-1 d:100'
    check "$a linkSend(1,-1,100) on the wire" wait_log "$log" 'mailbox 1: 105 095 200' -- "log: $(tail -n3 "$log")"
    check "$a linkSend reaches the motors" wait_log "$log" 'setpoints 5 -5 100'

    # Status frames: the motors have moved by now, one of them backwards, so
    # the folded negative angles are exercised.
    sleep 0.5
    sim_ctl "$s" frame
    rcall 'linkState 2 $h'
    local why
    why=$(decoded_matches_frame "$log")
    check "$a linkState decodes a frame" [ $? = 0 ] -- "$why" "$BLOCK"
    sim_ctl "$s" frame && sim_ctl "$s" frame && sim_ctl "$s" frame && sim_ctl "$s" frame
    rcall 'linkState 2 $h'
    why=$(decoded_matches_frame "$log")
    check "$a linkState drains 92 bytes (50 + 42) and decodes the newest frame" [ $? = 0 ] -- "$why" "$BLOCK"
    sim_ctl "$s" frame && sim_ctl "$s" frame && sim_ctl "$s" frame
    rcall 'linkState 2 $h'
    why=$(decoded_matches_frame "$log")
    check "$a linkState drains 69 bytes (50 + 19) and still decodes the newest frame whole" [ $? = 0 ] -- \
        "$why" "$BLOCK"
    rcall 'linkState 2 $h'
    expect "$a linkState on a quiet line: isShort" <<'EOF'
call linkState
out1 class=double size=7x1 values=0,0,0,0,0,0,0
out2 class=int8 size=1x1 values=1
ok
EOF
    check "$a quiet linkState ends by the T=20 total time-out (~1020 ms): $MS ms" in_range "$MS" 900 3000 -- "took $MS ms"
    sim_ctl "$s" frame
    rcall 'linkState 1 $h'
    check "$a linkState with one output" grep -q '^out1 class=double size=7x1 values=[0-9]' <<<"$BLOCK" -- "$BLOCK"

    # linkPeek: one read of at most 50 bytes, its last seven returned.
    sim_ctl "$s" send "$(seq 0 59 | xargs printf '%02x ')"
    rcall 'linkPeek 1 $h'
    expect "$a linkPeek of 60 waiting bytes takes 50" <<'EOF'
call linkPeek
print NumReadBytes: 50
out1 class=uint8 size=7x1 values=43,44,45,46,47,48,49
ok
EOF
    rcall 'linkPeek 1 $h'
    expect "$a the next linkPeek takes the other 10" <<'EOF'
call linkPeek
print NumReadBytes: 10
out1 class=uint8 size=7x1 values=53,54,55,56,57,58,59
ok
EOF
    check "$a a pause of T after the last byte ends the read early: $MS ms" in_range "$MS" 0 700 -- "took $MS ms"
    sim_ctl "$s" send 0a 0d 11 13 00 ff 7f
    rcall 'linkPeek 1 $h'
    expect "$a linkPeek bytes arrive untouched" <<'EOF'
call linkPeek
print NumReadBytes: 7
out1 class=uint8 size=7x1 values=10,13,17,19,0,255,127
ok
EOF
    sim_ctl "$s" send 01 02 03
    rcall 'linkPeek 1 $h'
    expect "$a fewer than seven bytes leave the tail zero" <<'EOF'
call linkPeek
print NumReadBytes: 3
out1 class=uint8 size=7x1 values=0,0,0,0,0,0,0
ok
EOF
    rcall 'linkPeek 1 $h'
    expect "$a linkPeek on a quiet line" <<'EOF'
call linkPeek
print NumReadBytes: 0
out1 class=uint8 size=7x1 values=0,0,0,0,0,0,0
ok
EOF
    check "$a quiet linkPeek ends by the T=20 total time-out (~1020 ms): $MS ms" in_range "$MS" 900 3000 -- "took $MS ms"
    # The interval timer starts at the first byte: bytes 400 ms into the read
    # (far beyond T) are still taken.
    rsend 'linkPeek 1 $h'
    until_call linkPeek
    sleep 0.4
    sim_ctl "$s" send 41 42
    rwait
    check "$a bytes after a wait longer than T are still read" grep -qx "print NumReadBytes: 2" <<<"$BLOCK" -- "$BLOCK"

    rcall 'linkGains 0 $h d:0 d:255 d:10.9'
    check "$a linkGains(0,255,10.9) on the wire" wait_log "$log" 'mailbox 1: 000 255 010' -- "log: $(tail -n3 "$log")"
    rcall 'linkHalt 0 $h'
    check "$a linkHalt on the wire" wait_log "$log" 'stop' -- "log: $(tail -n3 "$log")"
    rcall 'linkDetach 0 $h'
    expect "$a detach" <<'EOF'
call linkDetach
print closeSerial: Successful!
ok
EOF
    local before
    before=$(wc -l <"$log")
    rcall 'linkSend 0 $h d:1 d:1 d:1' 'linkPeek 1 $h' 'linkState 2 $h' 'linkHalt 0 $h' 'linkDetach 0 $h'
    expect "$a a closed handle is refused by every command" <<'EOF'
call linkSend
error Error: could not write to serial port
failed
call linkPeek
error Error: could not read from serial port
failed
call linkState
error Error: could not read from serial port
failed
call linkHalt
error Error: could not write to serial port
failed
call linkDetach
error Error: could not close serial port.
failed
EOF
    sleep 0.2
    check "$a nothing reached the wire after the close" [ "$(wc -l <"$log")" = "$before" ] -- "$(tail -n +$((before + 1)) "$log")"
    check "$a no malformed telegram on the wire" not grep -q '^bad telegram' "$log" -- "$(grep '^bad telegram' "$log")"
}

scenario_zero_timeout() { # ARCH SIM
    local a=$1 s=$2
    rcall "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:0"
    check "$a attach with T=0" grep -qx ok <<<"$BLOCK" -- "$BLOCK"
    rcall 'linkState 2 $h'
    expect "$a T=0 linkState on a quiet line gives up" <<'EOF'
call linkState
error Error: the serial line never paused
failed
EOF
    check "$a ... after the 2 s drain limit: $MS ms" in_range "$MS" 1500 4500 -- "took $MS ms"
    # The port got its T=0 time-outs back: a read waits for all 50 bytes, even
    # past the drain limit's bound.
    sim_ctl "$s" send "$(seq 1 30 | xargs printf '%02x ')"
    rsend 'linkPeek 1 $h'
    until_call linkPeek
    sleep 2.5
    sim_ctl "$s" send "$(seq 31 50 | xargs printf '%02x ')"
    rwait
    expect "$a T=0 restored: linkPeek waits for 50 bytes" <<'EOF'
call linkPeek
print NumReadBytes: 50
out1 class=uint8 size=7x1 values=44,45,46,47,48,49,50
ok
EOF
    check "$a ... for as long as they take: $MS ms" in_range "$MS" 2000 10000 -- "took $MS ms"
    rcall 'linkDetach 0 $h'
    check "$a detach the T=0 port" grep -qx ok <<<"$BLOCK" -- "$BLOCK"
}

scenario_flood() { # ARCH
    local a=$1
    rcall "linkAttach 1 s:COM6 d:115200 d:8 d:0 d:20"
    check "$a attach COM6 (flooding controller)" grep -qx ok <<<"$BLOCK" -- "$BLOCK"
    rcall 'linkState 2 $h'
    expect "$a linkState on a line that never pauses" <<'EOF'
call linkState
error Error: the serial line never paused
failed
EOF
    check "$a ... gives up after the 2 s drain limit: $MS ms" in_range "$MS" 1900 5000 -- "took $MS ms"
    rcall 'linkDetach 0 $h'
    check "$a detach the flooded port" grep -qx ok <<<"$BLOCK" -- "$BLOCK"
}

scenario_stall() { # ARCH SIM
    local a=$1 s=$2
    local pidv=${s}_pid
    rcall "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20"
    kill -STOP "${!pidv}"
    # Nobody drains the line: once the buffers are full a write must fail
    # after its time-out (2 s + 10 ms a byte), not hang or half succeed.
    local t0=$SECONDS
    rcall 'repeat 100000 linkRun 0 $h s:fifteen_letters'
    kill -CONT "${!pidv}"
    local made
    made=$(grep '^repeat ' <<<"$BLOCK" | cut -d' ' -f2)
    check "$a a stalled line fails the write (after ${made:-?} writes went through)" grep -qx "error Error: could not write to serial port" <<<"$BLOCK" -- \
        "$BLOCK" "after ${made:-?} calls in $((SECONDS - t0)) s"
    check "$a ... after the write time-out (2 s + 10 ms a byte): $MS ms" in_range "$MS" 1900 10000 -- "last call took $MS ms"
    # Every write reported done arrived whole; the failed one left a torn
    # telegram at most (a partial write is no success).
    local logv=${s}_log whole=0 i
    for i in $(seq 100); do
        whole=$(grep -cx 'start "fifteen_letters"' "${!logv}")
        [ "$whole" -ge $((made - 1)) ] && break
        sleep 0.05
    done
    sleep 0.3
    whole=$(grep -cx 'start "fifteen_letters"' "${!logv}")
    check "$a only the failed write is missing on the wire" [ "$whole" = $((made - 1)) ] -- \
        "$whole whole telegrams for $made calls"
    rcall 'linkDetach 0 $h'
    check "$a a stalled port still closes" grep -qx ok <<<"$BLOCK" -- "$BLOCK"
}

scenario_interrupt() { # ARCH SIM
    local a=$1 s=$2
    local log=${s}_log
    log=${!log}
    # Ctrl-C 300 ms into a read that would wait for ever (T = 0) and into one
    # that would wait 51 s (T = 1000): each ends with its message at once.
    local t
    for t in 0 1000; do
        rcall "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:$t" 'interrupt 300 linkPeek 1 $h'
        check "$a T=$t: Ctrl-C ends linkPeek" grep -qx 'error Error: read interrupted by Ctrl-C' <<<"$BLOCK" -- "$BLOCK"
        check "$a T=$t: ... 300 ms in, within a wait slice: $MS ms" in_range "$MS" 290 800 -- "took $MS ms"
        rcall 'interrupt 300 linkState 2 $h'
        check "$a T=$t: Ctrl-C ends linkState" grep -qx 'error Error: read interrupted by Ctrl-C' <<<"$BLOCK" -- "$BLOCK"
        check "$a T=$t: ... 300 ms in, within a wait slice: $MS ms" in_range "$MS" 290 800 -- "took $MS ms"
        # The port is still attached with its own time-outs: a write reaches
        # the wire and a read waits by T again.
        rcall 'linkSend 0 $h d:1 d:2 d:3'
        check "$a T=$t: the port works after Ctrl-C" wait_log "$log" 'mailbox 1: 105 111 117' -- "$BLOCK"
        : >"$log"
        if [ "$t" = 1000 ]; then
            sim_ctl "$s" send 41 42
            rcall 'linkPeek 1 $h'
            check "$a T=$t: ... and a read ends T after the last byte again: $MS ms" in_range "$MS" 900 3000 -- \
                "took $MS ms" "$BLOCK"
        fi
        rcall 'linkDetach 0 $h'
    done
}

scenario_port_settings() { # ARCH SIM
    local a=$1 s=$2
    local log=${s}_log
    log=${!log}
    # A port left by an earlier program with XON/XOFF, NUL stripping, the error
    # character and abort-on-error on: the plug-in switches them off and
    # keeps stop bits, RTS/CTS and DTR.
    rcall "spy dirty" "linkAttach 1 s:COM5 d:115200 d:8 d:0 d:20" "spy settings" "spy clean"
    check "$a attach sets a binary, transparent port and keeps the line's handshakes" grep -qx "spy BaudRate=115200 \
ByteSize=8 Parity=0 StopBits=2 fBinary=1 fOutX=0 fInX=0 fNull=0 fErrorChar=0 fAbortOnError=0 fOutxCtsFlow=1 \
fRtsControl=2 fOutxDsrFlow=0 fDtrControl=1" <<<"$BLOCK" -- "$BLOCK"
    # After a line error every read and write fails until ClearCommError:
    # the plug-in clears it and tries once more.
    rcall "spy abort" 'linkSend 0 $h d:1 d:2 d:3'
    check "$a a write aborted by a line error is tried again" wait_log "$log" 'mailbox 1: 105 111 117' -- "$BLOCK"
    sim_ctl "$s" send 01 02 03 04 05 06 07 08
    rcall "spy abort" 'linkPeek 1 $h'
    check "$a a read aborted by a line error is tried again" grep -qx "out1 class=uint8 size=7x1 values=2,3,4,5,6,7,8" \
        <<<"$BLOCK" -- "$BLOCK"
    rcall 'linkDetach 0 $h'
    check "$a detach the settings port" grep -qx ok <<<"$BLOCK" -- "$BLOCK"
}

# ---------------------------------------------------------------- per arch
run_arch() { # ARCH DIST LOADER WINEARCH
    local a=$1 dist=$2
    AW=$WORK/$a
    mkdir -p "$AW"
    export WINEPREFIX=$AW/prefix WINEARCH=$4 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
    unset DISPLAY WAYLAND_DISPLAY
    WINE=$3
    PREFIXES+=("$WINEPREFIX")
    local t0=$SECONDS
    if ! timeout 180 "$WINE" wineboot -i </dev/null >"$AW/boot.log" 2>&1; then
        fail "$a: Wine prefix" "$(tail -n5 "$AW/boot.log")"
        return
    fi
    echo "-- $a: prefix ready in $((SECONDS - t0)) s"

    start_sim simA com5 --period 60000 || return
    start_sim simB com6 --fault stream --autostart drive || return
    # Restart the server: the device links now come from the registry too.
    timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1
    start_runner "$dist"
    rcall "linkHalt 0 u32:4294967295"
    check "$a runner loads the plug-ins" grep -qx "error Error: serial port does not exist" <<<"$BLOCK" -- \
        "$BLOCK" "$(cat "$AW/run.err")"
    local ports
    ports=$(timeout 30 "$WINE" reg query 'HKLM\Software\Wine\Ports' </dev/null 2>/dev/null | tr -d '\r')
    check "$a COM5 in the registry" \
        grep -Eq "COM5 +REG_SZ +$simA_pts\$" <<<"$ports" -- "$ports"
    check "$a COM6 in the registry" grep -Eq "COM6 +REG_SZ +$simB_pts\$" <<<"$ports" -- "$ports"
    check "$a device links kept after the server restart" \
        [ "$(readlink "$WINEPREFIX/dosdevices/com5")" = "$simA_pts" ] -- "com5 -> $(readlink "$WINEPREFIX/dosdevices/com5")"

    scenario_arguments "$a"
    scenario_open_failures "$a"
    scenario_port "$a" simA
    scenario_zero_timeout "$a" simA
    scenario_flood "$a"
    scenario_interrupt "$a" simA
    scenario_port_settings "$a" simA
    scenario_stall "$a" simA
    stop_runner
    check "$a runner wrote nothing to stderr" [ ! -s "$AW/run.err" ] -- "$(head -n5 "$AW/run.err")"
    timeout 30 "$WINESERVER" -k -w >/dev/null 2>&1
    for pid in "$simA_pid" "$simB_pid"; do kill "$pid" 2>/dev/null; done
    echo "-- $a: done in $((SECONDS - t0)) s"
}

T_START=$SECONDS
static_checks win32 "$DIST32" mexw32 pei-i386
static_checks win64 "$DIST64" mexw64 pei-x86-64
def_checks win32 "$DIST32" mexw32
def_checks win64 "$DIST64" mexw64
matlab_entry_checks win32 "$DIST32" mexw32
matlab_entry_checks win64 "$DIST64" mexw64

if "$WINE32" --version >/dev/null 2>&1; then
    run_arch win32 "$DIST32" "$WINE32" win32
elif [ "${MEXLINK_WINE_REQUIRE32:-0}" = 1 ]; then
    fail "win32: 32-bit Wine runs here" "$WINE32 cannot be executed"
else
    SKIPPED_NOTE="win32 plug-ins not run: $WINE32 cannot be executed on this host (no 32-bit user mode); static checks only"
fi
run_arch win64 "$DIST64" "$WINE64" win64

echo "-- total $((SECONDS - T_START)) s"
[ "$FAILED" -eq 0 ]
