#!/bin/sh
# fuzz.sh BUILD_DIR SECONDS: runs every fuzz target of a fuzz build for
# SECONDS each, starting from the test suite's sample images plus whatever
# earlier runs found. Fails on any finding (crash, sanitizer report, leak,
# timeout, memory limit) and prints the executions of each target.
set -eu
build=$1
seconds=$2
corpus="$build/corpus"

run_target() {
    target=$1
    mkdir -p "$corpus/$target" "$corpus/$target-start" "$build/findings"
    "$build/fuzz/make_fuzz_corpus" "$corpus/$target-start" >/dev/null
    log="$build/$target.log"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/" \
        "$corpus/$target" "$corpus/$target-start" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "FUZZ FINDING in $target: see $build/findings and $log"
        exit 1
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: $execs executions in ${seconds}s ($rate/s), no findings"
}

run_target smf_parser_fuzz
