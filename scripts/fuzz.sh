#!/bin/sh
# fuzz.sh BUILD_DIR SECONDS: runs every fuzz target of a fuzz build for
# SECONDS each, starting from the target's starting corpus (make_fuzz_corpus)
# plus whatever earlier runs found. Fails on any finding (crash, sanitizer
# report, leak, timeout, memory limit) and prints the executions of each
# target and their total.
set -eu
build=$1
seconds=$2
corpus="$build/corpus"
total=0

# run_target TARGET TIMEOUT RSS_LIMIT_MB ASAN_OPTIONS [more libFuzzer options]
# The given AddressSanitizer options come before any from the environment.
run_target() {
    target=$1
    timeout=$2
    rss=$3
    asan=$4
    shift 4
    mkdir -p "$corpus/$target" "$corpus/$target-start" "$build/findings"
    "$build/fuzz/make_fuzz_corpus" "$target" "$corpus/$target-start" >/dev/null
    log="$build/$target.log"
    if [ -n "${ASAN_OPTIONS:-}" ]; then
        asan="${asan:+$asan:}$ASAN_OPTIONS"
    fi
    if ! ASAN_OPTIONS="$asan" "$build/fuzz/$target" -max_total_time="$seconds" \
        -timeout="$timeout" -rss_limit_mb="$rss" "$@" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
        "$corpus/$target" "$corpus/$target-start" >"$log" 2>&1; then
        # The finding without libFuzzer's banner and its own stack frames.
        grep -v -e '^INFO:' -e ' in fuzzer::' "$log" | tail -n 40
        echo "FUZZ FINDING in $target: see $build/findings and $log"
        exit 1
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    total=$((total + execs))
    echo "$target: $execs executions in ${seconds}s ($rate/s), no findings"
}

run_target smf_parser_fuzz 10 2048 ""
# No file of up to 1 MiB may keep the import busy for more than a second or
# make it use more than 256 MiB. That second is the native Release build's;
# this build carries sanitizers and coverage, which make the worst files (a
# million beats) about four times slower, so it is given two. Freed blocks
# held back by AddressSanitizer to catch late uses would count towards the
# memory limit; a small hold keeps the measure close to what the import uses.
run_target import_fuzz 2 256 quarantine_size_mb=16 -max_len=1048576
run_target tempo_fuzz 10 2048 ""
run_target ini_fuzz 10 2048 ""
run_target session_fuzz 10 2048 "" -max_len=65536
echo "all fuzz targets: $total executions, no findings"
