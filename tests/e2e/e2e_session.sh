#!/bin/sh
# End to end through the real Metrova.exe (run by run_session.sh): import with
# Ctrl+O and the open dialog, copy with Ctrl+C (read back by a second
# program), save with Ctrl+S, change the base note in the options with rows
# present, the about dialog, close with Alt+F4 and the settings file.
# Screenshots of the main window, the options and the about dialog are left
# in the build folder.
set -u
. "$E2E_LIB"

# A format-0 file, division 480, default tempo, End of Track at tick 1920:
# quarter-note beats at 500, 1000, 1500 and 2000 ms.
printf 'MThd\000\000\000\006\000\000\000\001\001\340MTrk\000\000\000\005\217\000\377\057\000' >four-beats.mid
# Its take 0, 500, 1000, 1500 exported with no interpolation: three tempo
# events of 500000 us, 2520 ticks apart, and the End of Track.
printf 'MThd\000\000\000\006\000\000\000\001\011\330MTrk\000\000\000\033' >expected.mid
printf '\000\377\121\003\007\241\040\223\130\377\121\003\007\241\040\223\130\377\121\003\007\241\040\000\377\057\000' >>expected.mid

# The same file read in eighth notes after the base note is changed: eight
# beats 250 ms apart, seven tempo events of 500000 us, 1260 ticks apart.
printf 'MThd\000\000\000\006\000\000\000\001\011\330MTrk\000\000\000\073' >expected-eighths.mid
printf '\000\377\121\003\007\241\040' >>expected-eighths.mid
for i in 1 2 3 4 5 6; do printf '\211\154\377\121\003\007\241\040' >>expected-eighths.mid; done
printf '\000\377\057\000' >>expected-eighths.mid

start_metrova

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
wait_for 15 clipboard_changes_from "$before" || fail "Ctrl+C did not change the clipboard"
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
wait_for 15 clipboard_changes_from "$before" || fail "Ctrl+C did not change the clipboard after the options"
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
close_metrova
if [ -e Metrova.ini ]; then
    keys_in_order=$(tr -d '\r' <Metrova.ini | sed -n 's/=.*//p' | tr '\n' ' ')
    [ "$(head -n 1 Metrova.ini | tr -d '\r')" = "[AppSetting]" ] || fail "Metrova.ini has no [AppSetting] first"
    [ "$keys_in_order" = "Left Top TempoInterpCount TimeSigBase TapMethod MidiIn Smoothing RepairOnExport GraphLeft GraphTop GraphWidth GraphHeight RestoreTakes " ] ||
        fail "Metrova.ini keys: $keys_in_order"
    grep -q '^TimeSigBase=3' Metrova.ini || fail "Metrova.ini does not keep the eighth note"
else
    fail "no Metrova.ini after closing"
fi

finish "Metrova.exe end to end: import, copy, save, options, about and close passed; screenshot $build/metrova-main-window.png"
