#!/usr/bin/env bash
# Smoke check of the probe against a live Wine runtime: every command once, one PASS/FAIL line per check.
# Usage: tools/probe/smoke.sh [probe.exe]   (default $VITREA_BUILD/tools/probe/probe.exe)
# Starts its own Xvfb (unless DISPLAY works) and wineserver for $VITREA_BUILD/wineprefix, and stops them again.
. "$(dirname "${BASH_SOURCE[0]}")/../runtime.sh"
PROBE=${1:-$VITREA_BUILD/tools/probe/probe.exe}
[ -f "$PROBE" ] || { echo "no probe at $PROBE" >&2; exit 2; }

tmp=$(mktemp -d)
bg_pids=()
cleanup() {
    local p
    for p in "${bg_pids[@]}"; do kill "$p" 2>/dev/null; done
    vitrea_stop
    rm -rf "$tmp"
}
trap cleanup EXIT
vitrea_start_display && vitrea_start_wine || exit 1

failures=0
run() { out=$(wine "$PROBE" "$@" 2>/dev/null); rc=$?; }
# expect <name> <exit code> <regex the whole output must match>
expect() {
    if [ "$rc" = "$2" ] && [[ $out =~ $3 ]]; then
        echo "PASS $1"
    else
        echo "FAIL $1: exit $rc, output: $out"
        failures=$((failures + 1))
    fi
}
# Starts a long-running probe command and waits for its first line.
start_bg() {
    local file=$tmp/$1 i
    shift
    wine "$PROBE" "$@" > "$file" 2>&1 &
    bg_pids+=($!)
    for i in $(seq 1 300); do [ -s "$file" ] && break; sleep 0.1; done
    out=$(head -n1 "$file")
}
dec_to_hwnd() { printf '0x%08X' "$1"; }

H='0x[0-9A-F]{8}'
KEY='Software\VitreaProbeSmoke'
TITLE='Probe target ✓'

start_bg keepalive keepalive
rc=0; expect "keepalive reports the tray" 0 "^ready ($H)$"
tray=${BASH_REMATCH[1]}
run windows Shell_TrayWnd
expect "windows lists the tray" 0 "^hwnd=$tray x=-?[0-9]+ y=-?[0-9]+ w=[0-9]+ h=[0-9]+ visible=1 text=\"[^\"]*\"$"
run windows VitreaProbeKeepalive
expect "keepalive window is hidden" 0 "visible=0 text=\"Vitrea probe keepalive\"$"
run windows VitreaProbeNoSuchClass
expect "windows with no match fails" 1 '^$'

start_bg target target "$TITLE" 200 150 400 300 controls
rc=0; expect "target prints its handle" 0 "^$H$"
top=$out
run find VitreaProbeTarget -
expect "find by class" 0 "^$top$"
run find - "$TITLE"
expect "find by unicode title" 0 "^$top$"
run find VitreaProbeNoSuchClass - 200
expect "find times out" 1 '^$'

run info "$top"
expect "info" 0 "^class VitreaProbeTarget
title $TITLE
rect 200 150 600 450
client [0-9]+ [0-9]+
style 0x1[0-9A-F]{7}
exstyle 0x[0-9A-F]{8}
visible 1
enabled 1
iconic 0
pid [0-9]+
layered 0 alpha 255 flags 0
foreground [01]$"

run children "$top"
expect "children in Z order" 0 "^hwnd=$H class=VitreaProbeChild text=\"A\" [^
]* visible=1 [^
]* id=1
hwnd=$H class=VitreaProbeChild text=\"B\" [^
]* visible=0 [^
]* id=3
hwnd=$H class=VitreaProbeChild text=\"C\" [^
]* id=5
hwnd=$H class=ComboBox text=\"two\" [^
]* id=6 items=\"one\|two\|three\" sel=1
hwnd=$H class=msctls_trackbar32 [^
]* id=7 pos=40 min=0 max=100$"
childA=$(sed -n 's/^hwnd=\(0x[0-9A-F]*\) .*text="A".*/\1/p' <<< "$out")

run send "$top" 0x8002 2 0
expect "send returns a window index's handle" 0 '^[0-9]+$'
a1=$(dec_to_hwnd "$out")
run children "$childA"
expect "grandchild A1 is inside A" 0 "^hwnd=$a1 class=VitreaProbeChild text=\"A1\" x=8 y=8 "
run send "$top" 0x8001 1 0
expect "A has painted" 0 '^[1-9][0-9]*$'
run send "$top" 0x8001 3 0
expect "hidden B has not painted" 0 '^0$'
run send "$top" 0x8001 9 0
expect "send prints negative results" 0 '^-1$'
run send "$top" reg:VitreaProbeSmokeMessage 0 0
expect "send reg:NAME" 0 '^0$'
run send 0x00000001 0x8001 0 0
expect "send to no window fails" 1 '^$'
run post "$top" 0x8003 0 0
expect "post" 0 '^ok$'
run send "$top" 0x8001 1 0
expect "posted reset zeroed the counts" 0 '^0$'
run send "$childA" 0x000F 0 0
run send "$top" 0x8001 1 0
expect "a sent WM_PAINT is counted" 0 '^1$'

run info "$a1"
read -r _ l t r b < <(grep '^rect' <<< "$out")
run pixel $((l + 2)) $((t + 2))
expect "pixel of A1" 0 '^28C828$'
run info "$childA"
read -r _ l t r b < <(grep '^rect' <<< "$out")
run pixel $((r - 3)) $((b - 3))
expect "pixel of A" 0 '^C82828$'

start_bg layered target "Probe layered" 100 100 200 150 layered shadow
layered=$out
run info "$layered"
expect "layered target" 0 "exstyle 0x0008[0-9A-F]{4}
.*
layered 1 alpha 255 flags 2
"
run windows VitreaProbeTarget
expect "windows lists both targets" 0 "^hwnd=$H [^
]*
hwnd=$H [^
]*$"

run regdel "$KEY"
expect "regdel of a key" 0 '^(deleted|absent)$'
run regset "$KEY" Text sz "Hi"
expect "regset sz" 0 '^ok$'
run regget "$KEY" Text
expect "sz is stored without NUL" 0 '^REG_SZ 4 48006900$'
run regset "$KEY" Bin binary 45
run regget "$KEY" Bin
expect "binary" 0 '^REG_BINARY 1 45$'
run regset "$KEY" Empty binary ""
run regget "$KEY" Empty
expect "empty binary" 0 '^REG_BINARY 0 $'
run regset "$KEY" Num dword 0x2A
run regget "$KEY" Num
expect "dword" 0 '^REG_DWORD 4 2A000000$'
run regset "$KEY" Bad binary 4
expect "odd hex is bad usage" 2 '^$'
run regdel "$KEY" Num
expect "regdel of a value" 0 '^deleted$'
run regget "$KEY" Num
expect "regget of a missing value" 1 '^$'
run regdel "$KEY" Num
expect "regdel of a missing value" 0 '^absent$'
run regdel "$KEY"
expect "regdel of a key tree" 0 '^deleted$'
run regget "$KEY" Text
expect "key is gone" 1 '^$'

run nosuch
expect "unknown command" 2 '^$'
run pixel 1 zz
expect "bad number" 2 '^$'
run send "$top" 1
expect "missing arguments" 2 '^$'

run waitgone "$top" 100
expect "waitgone times out on a live window" 1 '^alive$'
for w in "$top" "$layered"; do
    run post "$w" 0x0010 0 0
    run waitgone "$w" 5000
    expect "target $w closes" 0 '^gone$'
done
run find VitreaProbeKeepalive -
keepalive=$out
run post "$keepalive" 0x0010 0 0
run waitgone "$keepalive" 5000
expect "keepalive closes on WM_CLOSE" 0 '^gone$'
for p in "${bg_pids[@]}"; do
    wait "$p"
    rc=$?; out=""
    expect "background probe $p exits 0" 0 '^$'
done
bg_pids=()

if [ "$failures" = 0 ]; then echo "smoke: all passed"; else echo "smoke: $failures failed"; fi
[ "$failures" = 0 ]
