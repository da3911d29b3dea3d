#!/usr/bin/env bash
# Runs one Windows program of the build under the project's Wine prefix and returns its exit code.
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
exec wine "$@"
