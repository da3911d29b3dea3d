#!/usr/bin/env bash
# Sets up what is missing, builds the benchmarks and what they run, brings up the runtime (on a display of its
# own) and runs every benchmark program of tools/bench in turn, printing their tables and how long each took.
# Each benchmark prints its goals beside its figures. Exit code: 0 when every benchmark ran and met its goals,
# 1 otherwise.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
started=$SECONDS
vitrea_build_and_start benchmarks || exit 1
list=$VITREA_BUILD/benchmarks.txt
[ -s "$list" ] || { vitrea_log "no benchmark list at $list"; exit 1; }
failed=()
while IFS= read -r program; do
    [ -n "$program" ] || continue
    name=$(basename "$program" .exe)
    echo "== $name"
    began=$SECONDS
    # From its own folder: a benchmark may load libraries that sit beside it.
    (cd "$(dirname "$program")" && timeout "${VITREA_BENCH_TIMEOUT:-1800}" wine "$program" </dev/null) || failed+=("$name")
    echo "($name took $((SECONDS - began)) s)"
    echo
done < "$list"
echo "the whole command took $((SECONDS - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "missed a goal or did not finish: ${failed[*]}"
    exit 1
fi
echo "every benchmark met its goals"
