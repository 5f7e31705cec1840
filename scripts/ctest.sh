#!/bin/sh
# ctest.sh BUILD_DIR [CTEST ARGS...]: runs a build's tests; prints only the
# summary when everything passes, and the whole log when something fails.
#
# CTest lists each GoogleTest program's cases by starting it before any test
# runs, and one failed start stops the whole run; --repeat does not cover it.
# Under Wine a program's start can fail now and then for reasons of the
# moment (the session's background processes coming up). So a run stopped
# that way is logged, the start is tried once more with Wine's error
# messages on, and the run is made once more. A program that cannot list its
# cases fails the second run too.
build=$1
shift
log="$build/ctest.log"
run_ctest() {
    ctest --test-dir "$build" --output-on-failure "$@" >"$log" 2>&1
}
run_ctest "$@"
status=$?
if [ $status -ne 0 ] && grep -q 'Error running test executable' "$log"; then
    cat "$log"
    program=$(sed -n "s/^ *Path: '\(.*\)'\$/\1/p" "$log" | head -n 1)
    echo "Listing the cases of a test program failed; once more, with Wine's error messages:"
    # shellcheck disable=SC2086 # the path is the executor and the program
    WINEDEBUG=err+all $program --gtest_list_tests >/dev/null 2>"$log.diag"
    echo "exit status $?"
    tail -n 40 "$log.diag"
    echo "Running the tests once more."
    run_ctest "$@"
    status=$?
fi
if [ $status -eq 0 ]; then
    grep -E 'tests passed|Total Test time' "$log"
else
    cat "$log"
    exit 1
fi
