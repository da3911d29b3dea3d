#!/usr/bin/env bash
# Runs a host command for a test under the runtime, which does not learn a host program's exit status:
# writes the command's output, then "exit <status>", to <result>, which appears only once complete.
result=$1
shift
"$@" > "$result.part" 2>&1
echo "exit $?" >> "$result.part"
mv "$result.part" "$result"
