#!/usr/bin/env bash
# Sets up what is missing, builds Vitrea and runs it under Wine: on $DISPLAY when there is one, until you
# close it; otherwise on a virtual display for a few seconds, leaving a screenshot behind. If the settings
# window does not appear, it says so and stops everything it started.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
had_display=${DISPLAY:-}
vitrea_setup || exit 1
vitrea_build || exit 1
trap 'if [ -n "${vitrea:-}" ]; then kill "$vitrea" 2>/dev/null; fi; vitrea_stop' EXIT
vitrea_stop_leftovers
vitrea_start_display && vitrea_start_wine || exit 1
if [ -z "$had_display" ]; then vitrea_start_keeper || exit 1; fi
probe=$VITREA_BUILD/tools/probe/probe.exe
wine "$VITREA_BUILD/Vitrea.exe" &
vitrea=$!
appear=${VITREA_APPEAR_SECONDS:-60}
window=$(wine "$probe" find VitreaClass Vitrea "${appear}000" 2>/dev/null)
if [ -z "$window" ]; then
    if kill -0 "$vitrea" 2>/dev/null; then
        vitrea_log "Vitrea's window did not appear within $appear s; stopping it"
    else
        wait "$vitrea"
        vitrea_log "Vitrea ended (exit code $?) before its window appeared"
    fi
    exit 1
fi
if [ -n "$had_display" ]; then
    wait "$vitrea"
    code=$?
    vitrea=
    exit $code
fi
sleep "${VITREA_RUN_SECONDS:-6}" # time to look, not to wait for anything
shot=$VITREA_BUILD/screenshot.png
import -window root "$shot" && echo "screenshot: $shot"
wine "$probe" post "$window" 0x10 0 0 >/dev/null
for _ in $(seq 1 300); do
    kill -0 "$vitrea" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$vitrea" 2>/dev/null; then
    vitrea_log "Vitrea did not close within 30 s of being asked; stopping it"
    exit 1
fi
wait "$vitrea"
code=$?
vitrea=
echo "Vitrea exited with $code"
