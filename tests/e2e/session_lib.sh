# Helpers of the end-to-end sessions (sourced; see run_session.sh).
work=$E2E_WORK
build=$E2E_BUILD
wine=${E2E_WINE:-/usr/lib/wine/wine64}
wineserver=${E2E_WINESERVER:-/usr/lib/wine/wineserver}
failures=0
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }
# wintool's output without carriage returns, and its exit status (a pipe
# into tr would report tr's).
tool() {
    (cd "$work" || exit 1
     out=$(mktemp) || exit 1
     $wine wintool.exe "$@" </dev/null >"$out" 2>/dev/null
     status=$?
     tr -d '\r' <"$out"
     rm -f "$out"
     exit $status)
}
winpath() { $wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }
desktop() { xdotool search --name "Wine desktop" | head -n 1; }
keys() { xdotool windowfocus --sync "$(desktop)" key --delay 50 "$@"; }
type_text() { xdotool windowfocus --sync "$(desktop)" type --delay 20 "$1"; }
wait_for() {  # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
    n=$(($1 * 10)); shift
    while [ $n -gt 0 ]; do "$@" && return 0; sleep 0.1; n=$((n - 1)); done
    return 1
}
rows_are() { [ "$(tool list-rows)" = "$1" ]; }
file_is() { [ -e "$1" ] && cmp -s "$1" "$2"; }

# smf_beat_times FILE DECIMALS: the time of every beat of a format 0 tempo
# map in ms, worked out from the file's own ticks and tempos, one line with
# the times separated by blanks: beat k lies at the sum of the tempos of
# the beats before it, the last at the end of the beat its last tempo leads.
smf_beat_times() {
    od -An -v -tu1 "$1" | tr -s ' \n' '\n\n' | grep -v '^$' | awk -v format="%.$2f " '
        { b[n++] = $1 + 0 }
        function varlen(   v) { v = 0; while (i < n && b[i] >= 128) v = v * 128 + b[i++] - 128; return v * 128 + b[i++] }
        END {
            division = b[12] * 256 + b[13]; end = 22 + ((b[18] * 256 + b[19]) * 256 + b[20]) * 256 + b[21]
            us = 0; tempo = 500000; tick = 0; next_beat = 0
            for (i = 22; i < end && i < n;) {
                delta = varlen(); type = b[i + 1]; i += 2; size = varlen()
                tick += delta
                # Every beat boundary up to this event at the tempo before it.
                while (next_beat <= tick) { printf format, (us + (next_beat - last) * tempo / division) / 1000; next_beat += division }
                us += (tick - last) * tempo / division; last = tick
                if (type == 81) tempo = (b[i] * 256 + b[i + 1]) * 256 + b[i + 2]
                i += size
            }
            printf format, (us + (next_beat - last) * tempo / division) / 1000
        }'
}

# clipboard_changes_from SEQUENCE: whether the clipboard changed since then.
clipboard_changes_from() { [ "$(tool clipboard-sequence)" != "$1" ]; }

# start_metrova [what]: starts Metrova.exe in the work folder (with the
# environment given before the call) and waits for its main window; $metrova
# is its process.
start_metrova() {
    $wine Metrova.exe </dev/null >/dev/null 2>&1 &
    metrova=$!
    tool wait-window mkMetrovaWnd 60 >/dev/null || { echo "FAIL: the main window did not appear $*"; exit 1; }
    wait_for 20 desktop >/dev/null || { echo "FAIL: no Wine desktop window"; exit 1; }
    sleep 1
}

# close_metrova [what]: Alt+F4, then waits for the process to end.
close_metrova() {
    keys alt+F4
    wait_for 20 sh -c "! kill -0 $metrova 2>/dev/null" || fail "Alt+F4 did not end Metrova $*"
}

# finish MESSAGE: ends the session, failing when any check failed.
finish() {
    $wineserver -k 2>/dev/null
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "$1"
}

# A server left from a run on another display would draw nowhere.
$wineserver -k 2>/dev/null
cd "$work" || exit 1
