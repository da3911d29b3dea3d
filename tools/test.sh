#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite under Wine, always on a display
# of its own (also when $DISPLAY is set: the end-to-end tests move the mouse and read the screen). Extra
# arguments go to ctest, for example `-R TaskbarFade` to run the cases whose names match.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
vitrea_build_and_start || exit 1
ctest --test-dir "$VITREA_BUILD" --output-on-failure "$@"
