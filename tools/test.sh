#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite under Wine.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
vitrea_setup || exit 1
vitrea_build || exit 1
trap vitrea_stop EXIT
vitrea_start_display && vitrea_start_wine && vitrea_start_keeper || exit 1
ctest --test-dir "$VITREA_BUILD" --output-on-failure "$@"
