#!/usr/bin/env bash
# The setup and cleanup tests of a ctest run started by hand: `up` brings up a private display, the wine
# server and the desktop, and notes them in the build folder for tools/wine-run.sh; `down` stops them.
# Under tools/test.sh the runtime is up already and both do nothing.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
[ -n "${VITREA_RUNTIME:-}" ] && exit 0
session=$VITREA_BUILD/runtime-session

down() {
    [ -f "$session" ] || return 0
    local DISPLAY= VITREA_XVFB_PID= VITREA_KEEPER_PID=
    . "$session"
    VITREA_WINESERVER_STARTED=1
    vitrea_stop
    rm -f "$session"
}

case "${1:-}" in
up)
    if ! command -v Xvfb >/dev/null || ! command -v wine >/dev/null || [ ! -f "$VITREA_BUILD/tools/probe/probe.exe" ]; then
        echo "vitrea: Wine, Xvfb or the build is missing; run tools/test.sh" >&2
        exit 1
    fi
    if ! vitrea_start_runtime 2>"$VITREA_BUILD/runtime-up.log"; then
        echo "vitrea: the Wine runtime did not come up (see $VITREA_BUILD/runtime-up.log); run tools/test.sh" >&2
        exit 1
    fi
    printf 'DISPLAY=%s\nVITREA_XVFB_PID=%s\nVITREA_KEEPER_PID=%s\n' "$DISPLAY" "$VITREA_XVFB_PID" "$VITREA_KEEPER_PID" > "$session"
    echo "runtime up on display $DISPLAY"
    ;;
down) down ;;
*) echo "usage: ctest-runtime.sh up|down" >&2; exit 2 ;;
esac
