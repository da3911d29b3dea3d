#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite under Wine, always on a display
# of its own (also when $DISPLAY is set: the end-to-end tests move the mouse and read the screen). Extra
# arguments go to ctest, for example `-R TaskbarFade` to run the cases whose names match.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
vitrea_setup || exit 1
vitrea_build || exit 1
trap vitrea_stop EXIT
vitrea_start_runtime || exit 1
ctest --test-dir "$VITREA_BUILD" --output-on-failure "$@"
