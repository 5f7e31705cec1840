#!/bin/sh
# fuzz.sh BUILD_DIR SECONDS [JOBS]: runs every fuzz target of a fuzz build for
# SECONDS each, starting from the target's starting corpus (make_fuzz_corpus)
# plus whatever earlier runs found. Fails on any finding (crash, sanitizer
# report, leak, timeout, memory limit) and prints the executions of each
# target and their total.
#
# The targets run side by side, JOBS at a time (default: the number of
# cores): each is one process on one core, and each still gets its SECONDS
# of wall time, so running them together shortens the run without fuzzing
# any target less.
set -eu
build=$1
seconds=$2
jobs=${3:-$(nproc)}
corpus="$build/corpus"
results="$build/results"
rm -rf "$results"
mkdir -p "$results" "$build/findings"

# ogg_streams DIR: real Ogg Vorbis streams, which only an encoder makes (sox,
# set up with the native tests), so that the fuzzer reaches into the
# decoder; each input's last byte steers wav_fuzz (0x40: a second pass from
# a seek). Nothing without sox.
ogg_streams() {
    command -v sox >/dev/null 2>&1 || return 0
    # (Names of its own: the script's seconds and a target's rate are shell
    # variables of the whole script.)
    oggDir=$1
    for recipe in "8000 1 1 sine 440" "44100 2 2 sine 300 sine 500"; do
        set -- $recipe
        ogg="$oggDir/sox-$1-$2.ogg"
        oggRate=$1 oggChannels=$2 oggSeconds=$3
        shift 3
        if sox -V1 -n -r "$oggRate" -c "$oggChannels" -t ogg "$ogg.part" synth "$oggSeconds" "$@" 2>/dev/null; then
            { cat "$ogg.part"; printf '\100'; } >"$ogg"
        fi
        rm -f "$ogg.part"
    done
}

# run_target TARGET TIMEOUT RSS_LIMIT_MB ASAN_OPTIONS [more libFuzzer options]
# The given AddressSanitizer options come before any from the environment.
# Leaves the target's line of the summary in $results/TARGET.ok, or the
# finding in $results/TARGET.failed.
run_target() {
    target=$1
    timeout=$2
    rss=$3
    asan=$4
    shift 4
    mkdir -p "$corpus/$target" "$corpus/$target-start"
    if ! "$build/fuzz/make_fuzz_corpus" "$target" "$corpus/$target-start" >/dev/null; then
        echo "make_fuzz_corpus failed for $target" >"$results/$target.failed"
        return 0
    fi
    if [ "$target" = wav_fuzz ]; then
        ogg_streams "$corpus/$target-start"
    fi
    log="$build/$target.log"
    if [ -n "${ASAN_OPTIONS:-}" ]; then
        asan="${asan:+$asan:}$ASAN_OPTIONS"
    fi
    if ! ASAN_OPTIONS="$asan" "$build/fuzz/$target" -max_total_time="$seconds" \
        -timeout="$timeout" -rss_limit_mb="$rss" "$@" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
        "$corpus/$target" "$corpus/$target-start" >"$log" 2>&1; then
        # The finding without libFuzzer's banner and its own stack frames.
        { grep -v -e '^INFO:' -e ' in fuzzer::' "$log" | tail -n 40
          echo "FUZZ FINDING in $target: see $build/findings and $log"
        } >"$results/$target.failed"
        return 0
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    if [ -z "$execs" ]; then
        echo "FUZZ RUN of $target gave no statistics: see $log" >"$results/$target.failed"
        return 0
    fi
    echo "$execs $target: $execs executions in ${seconds}s ($rate/s), no findings" >"$results/$target.ok"
}

# start TARGET ...: runs run_target in the background once fewer than JOBS
# targets are running (each one leaves TARGET.done when it ends).
started=0
start() {
    while [ $((started - $(ls "$results" | grep -c '\.done$'))) -ge "$jobs" ]; do
        sleep 0.2
    done
    (run_target "$@" || :; touch "$results/$1.done") &
    started=$((started + 1))
}

targets="smf_parser_fuzz import_fuzz tempo_fuzz ini_fuzz session_fuzz wav_fuzz onset_fuzz snap_fuzz"
start smf_parser_fuzz 10 2048 ""
# No file of up to 1 MiB may keep the import busy for more than a second or
# make it use more than 256 MiB. That second is the native Release build's;
# this build carries sanitizers and coverage, which make the worst files (a
# million beats) about four times slower, so it is given two. Freed blocks
# held back by AddressSanitizer to catch late uses would count towards the
# memory limit; a small hold keeps the measure close to what the import uses.
start import_fuzz 2 256 quarantine_size_mb=16 -max_len=1048576
start tempo_fuzz 10 2048 ""
start ini_fuzz 10 2048 ""
start session_fuzz 10 2048 "" -max_len=65536
# Recordings are streamed: a file of 1 MiB holds every header there is.
start wav_fuzz 10 2048 "" -max_len=1048576
# Samples are repeated up to 8 times: 16 KiB gives a second of sound or more.
start onset_fuzz 10 2048 "" -max_len=16384
# Three curves of up to 16384 frames and 255 beats: 64 KiB reaches them all.
start snap_fuzz 10 2048 "" -max_len=65536
wait

total=0
failed=0
for target in $targets; do
    if [ -e "$results/$target.failed" ]; then
        cat "$results/$target.failed"
        failed=1
    elif [ -e "$results/$target.ok" ]; then
        read -r execs line <"$results/$target.ok"
        echo "$line"
        total=$((total + execs))
    else
        echo "FUZZ RUN of $target ended without a result: see $build/$target.log"
        failed=1
    fi
done
[ "$failed" = 0 ] || exit 1
echo "all fuzz targets: $total executions, no findings"
