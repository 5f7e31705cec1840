#!/bin/sh
# Metrova.exe in a program folder whose name code page 932 cannot spell
# (run by run_session.sh): it reads the settings file beside it at start-up
# and writes it back there when it closes.
. "$E2E_LIB"

folder="$work/テンポ ♪ café 한국"
mkdir -p "$folder" && mv "$work/Metrova.exe" "$folder/" || { echo "FAIL: no program folder"; exit 1; }
# Settings the program would not choose itself: the eighth note and three
# interpolation points; no RestoreTakes yet, which the program adds.
printf '[AppSetting]\r\nLeft=40\r\nTop=30\r\nTempoInterpCount=3\r\nTimeSigBase=3\r\nTapMethod=0\r\nMidiIn=\r\n' \
    >"$folder/Metrova.ini"

(cd "$folder" && exec $wine Metrova.exe </dev/null >/dev/null 2>&1) &
metrova=$!
tool wait-window mkMetrovaWnd 60 >/dev/null || { echo "FAIL: the main window did not appear"; exit 1; }
wait_for 20 desktop >/dev/null || { echo "FAIL: no Wine desktop window"; exit 1; }
sleep 1
import -window root "$build/metrova-unicode-folder.png" 2>/dev/null || fail "no screenshot"
# The window opens where the settings put it, not active: a click on its
# caption activates it for Alt+F4.
xdotool mousemove 200 40 click 1
sleep 0.5
close_metrova "from the folder"

settings=$(tr -d '\r' <"$folder/Metrova.ini")
echo "$settings" | grep -qx 'TimeSigBase=3' || fail "the eighth note was not kept: $settings"
echo "$settings" | grep -qx 'TempoInterpCount=3' || fail "the interpolation count was not kept: $settings"
echo "$settings" | grep -qx 'RestoreTakes=1' || fail "the settings file was not written back: $settings"
[ "$(ls "$folder" | grep -c '^Metrova\.ini$')" = 1 ] || fail "settings written elsewhere: $(ls "$folder")"
[ -z "$(ls "$work" | grep -i '\.ini$')" ] || fail "a settings file outside the program folder: $(ls "$work")"

finish "Metrova.exe in a folder named with characters outside code page 932 keeps its settings"
