#!/usr/bin/env bash
# Runs one Windows program of the build under the project's Wine prefix and returns its exit code: the
# emulator ctest runs the test programs with. It uses the runtime that tools/test.sh or tools/bench.sh has
# up, or the one a hand-run ctest brought up with its setup test (tools/ctest-runtime.sh).
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
if [ -z "${VITREA_RUNTIME:-}" ]; then
    session=$VITREA_BUILD/runtime-session
    if [ -f "$session" ]; then
        . "$session"
        export DISPLAY
    else
        echo "vitrea: no Wine runtime is up for $VITREA_BUILD; run tools/test.sh (or the whole ctest, which starts one)" >&2
        exit 1
    fi
fi
exec wine "$@"
