#!/usr/bin/env bash
# Checks that ctest knows every GoogleTest case of a test program: compares the names registered from the
# sources (one per line in <cases file>) with what the program itself lists.
# Usage: cases_registered.sh <cases file> <command that runs the test program, with its arguments...>
set -u
cases=$1
shift
listed=$("$@" --gtest_list_tests) || { echo "the test program did not list its cases"; exit 1; }
# Suites start in column 0 and end with '.', their cases are indented; DISABLED_ ones are not run.
actual=$(printf '%s\n' "$listed" | tr -d '\r' | awk '
    /^[^ ]/ { suite = $1; next }
    /^  [^ ]/ { print suite $1 }' | grep -v 'DISABLED_' | sort)
expected=$(sort "$cases")
missing=$(comm -23 <(printf '%s\n' "$actual") <(printf '%s\n' "$expected") | tr '\n' ' ')
extra=$(comm -13 <(printf '%s\n' "$actual") <(printf '%s\n' "$expected") | tr '\n' ' ')
[ -z "$missing$extra" ] && { echo "$(printf '%s\n' "$actual" | wc -l) cases, all registered"; exit 0; }
echo "cases not registered with ctest: ${missing:-none}; registered but not in the program: ${extra:-none}"
exit 1
