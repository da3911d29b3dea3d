#!/usr/bin/env bash
# The reliability suite: builds, brings up the runtime, then drives the shipped binaries with hostile
# messages, faults, load and idle time, and prints one table of figures beside their goals. It runs for
# a long while at full scale; these variables make it shorter:
#   RELIABILITY_MESSAGES (100000)  messages the fuzzer sends      RELIABILITY_SEED      the fuzzer's seed
#   RELIABILITY_CYCLES   (10000)   apply/remove cycles            RELIABILITY_FADES (10000) taskbar fades
#   RELIABILITY_IDLE     (60)      seconds of idle time          RELIABILITY_LAUNCHES (15) start-up launches
#   RELIABILITY_LOAD     (1000)    menu openings, skin switches and About windows, each
#   RELIABILITY_REAL_EVERY (200)   messages between two real menu openings or key chords in the fuzzer
# The full output of every step goes to build/reliability.log. Exit code 0 when every goal is met.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"
vitrea_build_and_start || exit 1

B=$VITREA_BUILD
rows=$B/reliability.rows
log=$B/reliability.log
: > "$rows"
: > "$log"
step() { # step <item> <command...>: runs a program of the build, keeping its rows
    local item=$1; shift
    printf '[reliability] %s\n' "$item" >&2
    echo "== $item: $*" >> "$log"
    wine "$@" 2>>"$log" | tr -d '\r' | tee -a "$log" | grep '^ROW|' >> "$rows"
}
e2e=("$B/tests/vitrea_e2e.exe" "$B/Vitrea.exe" "$B/Vitrea.dll" "$B/tools/probe/probe.exe" "$B/tests/planted/Vitrea.dll")

# 1. Hostile messages.
step fuzz "$B/tools/fuzz/fuzz.exe" "$B/Vitrea.exe" "$B/tools/probe/probe.exe" \
    --messages "${RELIABILITY_MESSAGES:-100000}" ${RELIABILITY_SEED:+--seed "$RELIABILITY_SEED"} --leak-check \
    --real-every "${RELIABILITY_REAL_EVERY:-200}"

# 2. Faults: each end-to-end fault test is a row of its own, with the figures it prints.
echo "== faults" >> "$log"
wine "${e2e[@]}" --gtest_filter='Faults.*' 2>&1 | tr -d '\r' | tee -a "$log" | awk '
    /^ROW\|/ { print; next }
    /^\[       OK \] / { print "ROW|faults|" $4 "|passed|passed|ok" }
    /^\[  FAILED  \] .*\(/ { print "ROW|faults|" $4 "|FAILED|passed|MISSED" }' >> "$rows"

# A benchmark line "<figure>  <x> ms  bare  <y> ms  ratio <r>x  (goal <= <g>x) met" as a row of the item.
ratio_rows='
    function ratio_row(item, what) { goal = "-"; ok = 1
        if (p[n] ~ /goal <=/) { goal = p[n]; gsub(/[()]|goal |met|MISSED/, "", goal); gsub(/ +$/, "", goal)
                             limit = goal; gsub(/[^0-9.]/, "", limit); ok = p[7] + 0 <= limit + 0 }
        print "ROW|" item "|" p[2] ", " what "|" p[7] "|" goal "|" (ok ? "ok" : "MISSED") }'

# 3. Load and leaks: apply/remove cycles on another program's window. 5. Where the time goes: the apply
# step by step, the whole against the sum of the same steps done bare.
echo "== layered_bench" >> "$log"
wine "$B/layered_bench.exe" "${RELIABILITY_CYCLES:-10000}" 2>&1 | tr -d '\r' | tee -a "$log" | awk "$ratio_rows"'
    { n = split($0, p, /  +/) }
    /^    [^ ]|^      [(]/ && p[2] != "step" {
        value = "bare " p[3]; if (p[4] ~ / ms$/) value = value ", engine " p[4]
        print "ROW|speed|apply step: " p[2] "|" value "|-|ok" }
    / ratio / { ratio_row("speed", p[2] ~ /already|no engine/ ? "against the bare call" : "engine against bare steps") }
    /^after / { cycles = $2 }
    / -> / { print "ROW|load|" p[2] " over " cycles " apply/remove cycles|" p[3] " " p[4] "|flat|" (p[5] == "ok" ? "ok" : "MISSED") }' >> "$rows"

# Menus opened, skins switched and About windows opened by real clicks, each count read before and after.
step load "$B/tools/fuzz/fuzz.exe" "$B/Vitrea.exe" "$B/tools/probe/probe.exe" --load "${RELIABILITY_LOAD:-1000}"

# 5. Start-up to the visible settings window against a minimal window program, launched in turn.
echo "== startup_bench" >> "$log"
wine "$B/startup_bench.exe" "${RELIABILITY_LAUNCHES:-15}" 2>&1 | tr -d '\r' | tee -a "$log" | awk "$ratio_rows"'
    { n = split($0, p, /  +/) }
    / ratio / { ratio_row("speed", p[2] ~ /floor/ ? "launched in turn" : "against a minimal window program") }' >> "$rows"

# 4. Fades, then idle.
step fades+idle "$B/tools/fuzz/fuzz.exe" "$B/Vitrea.exe" "$B/tools/probe/probe.exe" \
    --idle "${RELIABILITY_IDLE:-60}" --fades "${RELIABILITY_FADES:-10000}"

echo
awk -F'|' '
    BEGIN { printf "%-11s %-62s %-36s %-26s %s\n", "item", "figure", "value", "goal", ""; missed = 0 }
    { printf "%-11s %-62s %-36s %-26s %s\n", $2, $3, $4, $5, ($6 == "ok" ? "ok" : "MISSED"); if ($6 != "ok") missed++ }
    END { printf "\n%d of %d figures miss their goal (full output: build/reliability.log)\n", missed, NR; exit missed > 0 }' "$rows"
