#!/usr/bin/env bash
# Sets up what is missing, builds Vitrea and runs it under Wine: on $DISPLAY when there is one, otherwise
# on a virtual display for a few seconds, leaving a screenshot behind.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
had_display=${DISPLAY:-}
vitrea_setup || exit 1
vitrea_build || exit 1
trap vitrea_stop EXIT
vitrea_start_display && vitrea_start_wine || exit 1
if [ -n "$had_display" ]; then
    wine "$VITREA_BUILD/Vitrea.exe"
    exit $?
fi
vitrea_start_keeper || exit 1
wine "$VITREA_BUILD/Vitrea.exe" &
vitrea=$!
sleep "${VITREA_RUN_SECONDS:-6}"
shot=$VITREA_BUILD/screenshot.png
import -window root "$shot" && echo "screenshot: $shot"
wine "$VITREA_BUILD/tools/probe/probe.exe" post "$(wine "$VITREA_BUILD/tools/probe/probe.exe" find VitreaClass Vitrea 5000)" 0x10 0 0 >/dev/null
wait $vitrea
echo "Vitrea exited with $?"
