#!/bin/sh
# The part of e2e_test.sh that runs on the virtual X server.
set -u
work=$E2E_WORK
build=$E2E_BUILD
wine=/usr/lib/wine/wine64
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tool() { (cd "$work" && $wine wintool.exe "$@" </dev/null 2>/dev/null | tr -d '\r'); }
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

# A server left from a run on another display would draw nowhere.
/usr/lib/wine/wineserver -k 2>/dev/null
cd "$work" || exit 1
$wine Metrova.exe </dev/null >/dev/null 2>&1 &
metrova=$!
tool wait-window mkMetrovaWnd 60 >/dev/null || { echo "FAIL: the main window did not appear"; exit 1; }
wait_for 20 desktop >/dev/null || { echo "FAIL: no Wine desktop window"; exit 1; }
sleep 1

# Import with Ctrl+O and the open dialog, twice: two rows.
midi=$(winpath "$work/four-beats.mid")
for n in 1 2; do
    keys ctrl+o
    tool wait-dialog 15 || fail "Ctrl+O opened no dialog"
    sleep 0.5
    type_text "$midi"
    keys Return
    wait_for 15 rows_are "$n" || fail "import $n: the list has $(tool list-rows) rows"
done

# Copy with Ctrl+C; the second program reads the clipboard.
before=$(tool clipboard-sequence)
keys ctrl+c
wait_for 15 sh -c "[ \"\$(cd '$work' && $wine wintool.exe clipboard-sequence 2>/dev/null | tr -d '\r')\" != '$before' ]" ||
    fail "Ctrl+C did not change the clipboard"
tool clipboard clipboard.mid
cmp -s clipboard.mid expected.mid || fail "clipboard bytes: $(od -An -tx1 clipboard.mid 2>/dev/null | tr -d '\n')"

# Save with Ctrl+S to a new file.
keys ctrl+s
tool wait-dialog 15 || fail "Ctrl+S opened no dialog"
sleep 0.5
type_text "$(winpath "$work")\\saved"
keys Return
wait_for 15 file_is saved.mid expected.mid || fail "saved.mid missing or different"

xwd_ok=1
import -window root "$build/metrova-main-window.png" 2>/dev/null || xwd_ok=0
[ "$xwd_ok" = 1 ] || fail "no screenshot"

# Options from the Edit menu: the base note from quarter to eighth notes,
# with rows in the list, confirmed with Yes to the question; the list empties
# and the next import and export use eighth notes.
keys alt+e o
tool wait-dialog 15 || fail "the options dialog did not open"
sleep 0.5
import -window root "$build/metrova-options-dialog.png" 2>/dev/null || fail "no options screenshot"
keys Down Return           # the base-note list has the focus: 4 -> 8, then OK
sleep 1
keys y                     # Yes to the question (No is its default button)
tool wait-no-dialog 15 || fail "the options dialog did not close"
wait_for 10 rows_are 0 || fail "changing the base note left $(tool list-rows) rows"
keys ctrl+o
tool wait-dialog 15 || fail "Ctrl+O opened no dialog after the options"
sleep 0.5
type_text "$midi"
keys Return
wait_for 15 rows_are 1 || fail "import in eighth notes: $(tool list-rows) rows"
before=$(tool clipboard-sequence)
keys ctrl+c
wait_for 15 sh -c "[ \"\$(cd '$work' && $wine wintool.exe clipboard-sequence 2>/dev/null | tr -d '\r')\" != '$before' ]" ||
    fail "Ctrl+C did not change the clipboard after the options"
tool clipboard eighths.mid
cmp -s eighths.mid expected-eighths.mid || fail "eighth-note export: $(od -An -tx1 eighths.mid 2>/dev/null | tr -d '\n')"

# The about dialog from the Help menu.
keys alt+h v
tool wait-dialog 15 || fail "the about dialog did not open"
sleep 0.5
import -window root "$build/metrova-about-dialog.png" 2>/dev/null || fail "no about screenshot"
keys Escape
tool wait-no-dialog 15 || fail "Escape did not close the about dialog"

# Close with Alt+F4: the settings file is written beside the program.
keys alt+F4
wait_for 20 sh -c "! kill -0 $metrova 2>/dev/null" || fail "Alt+F4 did not end Metrova"
if [ -e Metrova.ini ]; then
    keys_in_order=$(tr -d '\r' <Metrova.ini | sed -n 's/=.*//p' | tr '\n' ' ')
    [ "$(head -n 1 Metrova.ini | tr -d '\r')" = "[AppSetting]" ] || fail "Metrova.ini has no [AppSetting] first"
    [ "$keys_in_order" = "Left Top TempoInterpCount TimeSigBase TapMethod MidiIn " ] ||
        fail "Metrova.ini keys: $keys_in_order"
    grep -q '^TimeSigBase=3' Metrova.ini || fail "Metrova.ini does not keep the eighth note"
else
    fail "no Metrova.ini after closing"
fi

/usr/lib/wine/wineserver -k 2>/dev/null
if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "Metrova.exe end to end: import, copy, save and close passed; screenshot $build/metrova-main-window.png"
