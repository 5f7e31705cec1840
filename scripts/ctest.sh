#!/bin/sh
# ctest.sh BUILD_DIR [CTEST ARGS...]: runs a build's tests; prints only the
# summary when everything passes, and the whole log when something fails.
build=$1
shift
log="$build/ctest.log"
if ctest --test-dir "$build" --output-on-failure "$@" >"$log" 2>&1; then
    grep -E 'tests passed|Total Test time' "$log"
else
    cat "$log"
    exit 1
fi
