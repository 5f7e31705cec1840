#!/bin/sh
# Keyboard tap timing as Metrova.exe records it, seen from outside: xdotool
# presses a key at a steady rate into the tap dialog, and the intervals the
# session file then holds are compared between
#   - this build with an empty list (the dialog shows the tempo and the
#     warnings),
#   - this build with listed takes (also the deviation from them), and
#   - optionally another Metrova.exe, BASELINE_EXE (say, one built without
#     the feedback), in the same runs.
# Every variant is run ROUNDS times, the variants taking turns, and records
# TAKES takes of TAPS key presses DELAY ms apart in each run.
#   bench/tap_timing.sh BUILD_DIR [BASELINE_EXE]
# Prints the mean, standard deviation and largest deviation from the mean
# of the intervals per variant, over all its takes, and keeps a screenshot
# of the dialog while taps come in (BUILD_DIR/metrova-tap-feedback.png).
# Takes about a minute per run; not part of `make test`.
set -u
TAKES=${TAKES:-3} TAPS=${TAPS:-41} DELAY=${DELAY:-250} ROUNDS=${ROUNDS:-2}

if [ -z "${E2E_LIB:-}" ]; then
    here=$(cd "$(dirname "$0")" && pwd)
    [ -n "${2:-}" ] && { TIMING_BASELINE=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); export TIMING_BASELINE; }
    export TAKES TAPS DELAY ROUNDS
    exec sh "$here/../tests/e2e/run_session.sh" "$1" "$1/tap-timing-work" ../../bench/tap_timing.sh
fi

. "$E2E_LIB"
mkdir -p current && mv Metrova.exe current/ || exit 1
variants=current
if [ -n "${TIMING_BASELINE:-}" ]; then
    mkdir -p baseline && cp "$TIMING_BASELINE" baseline/Metrova.exe || exit 1
    variants="baseline current"
fi

keys_list=$(i=0; while [ $i -lt "$TAPS" ]; do printf 't '; i=$((i + 1)); done)

# One run of VARIANT: TAKES takes, the first on an empty list; appends
# "VARIANT TAKE INTERVAL" lines to intervals.txt.
run_variant() {
    cd "$work/$1" || exit 1
    rm -f Metrova.takes Metrova.ini
    start_metrova "$1"
    take=1
    while [ $take -le "$TAKES" ]; do
        keys Return
        tool wait-dialog 15 || fail "$1: no tap dialog"
        sleep 0.5
        # shellcheck disable=SC2086
        xdotool windowfocus --sync "$(desktop)" key --delay "$DELAY" $keys_list &
        typing=$!
        if [ "$1" = current ] && [ $take = "$TAKES" ] && [ ! -e "$build/metrova-tap-feedback.png" ]; then
            sleep 5
            import -window root "$build/metrova-tap-feedback.png" 2>/dev/null
        fi
        wait $typing
        sleep 0.5
        keys Escape
        tool wait-no-dialog 15 || fail "$1: the tap dialog did not close"
        wait_for 10 rows_are $take || fail "$1: take $take was not listed"
        take=$((take + 1))
    done
    close_metrova "$1"
    awk -v variant="$1" -v round="$2" '
        /^take / { take++; previous = -1; next }
        take && /^[0-9]+\r?$/ { t = $1 + 0; if (previous >= 0) print variant, round, take, t - previous; previous = t }
    ' Metrova.takes >>"$work/intervals.txt"
    cd "$work" || exit 1
}

rm -f "$build/metrova-tap-feedback.png"
round=1
while [ $round -le "$ROUNDS" ]; do
    for variant in $variants; do
        run_variant "$variant" $round
    done
    round=$((round + 1))
done

# Per variant and list state: take 1 of every run is tapped on an empty list.
awk '
    { name = $1 ($3 == 1 ? " (empty list)" : " (listed takes)"); n[name]++; s[name] += $4; q[name] += $4 * $4
      v[name, n[name]] = $4 }
    END {
        printf "%-26s %6s %9s %8s %8s\n", "variant", "taps", "mean ms", "sd ms", "max dev"
        for (name in n) {
            mean = s[name] / n[name]; sd = sqrt(q[name] / n[name] - mean * mean); m = 0
            for (i = 1; i <= n[name]; i++) { d = v[name, i] - mean; if (d < 0) d = -d; if (d > m) m = d }
            printf "%-26s %6d %9.2f %8.2f %8.1f\n", name, n[name], mean, sd, m
        }
    }' intervals.txt | sort
cp intervals.txt "$build/tap-timing-intervals.txt"
finish "intervals: $build/tap-timing-intervals.txt, screenshot: $build/metrova-tap-feedback.png"
