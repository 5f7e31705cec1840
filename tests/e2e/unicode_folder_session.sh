#!/bin/sh
# Metrova.exe in a program folder whose name code page 932 cannot spell
# (run by run_session.sh): it reads the settings file beside it at start-up
# and writes it back there when it closes, and keeps its takes there (a take
# tapped in one run is listed again in the next).
#
# The files must be reached by the folder's long name: a volume may have no
# short (8.3) names. Wine makes one up for any folder and cannot be told not
# to, so the runs are traced (WINEDEBUG=trace+file) and every file call that
# names one of the program's files must name it in the long folder.
set -u
. "$E2E_LIB"

folder="$work/テンポ ♪ café 한국"
mkdir -p "$folder" && mv "$work/Metrova.exe" "$folder/" || { echo "FAIL: no program folder"; exit 1; }
# Settings the program would not choose itself: the eighth note and three
# interpolation points; no RestoreTakes yet, which the program adds.
printf '[AppSetting]\r\nLeft=40\r\nTop=30\r\nTempoInterpCount=3\r\nTimeSigBase=3\r\nTapMethod=0\r\nMidiIn=\r\n' \
    >"$folder/Metrova.ini"
trace="$work/file-trace.log"
: >"$trace"

# run_in_folder WHAT [PROGRAM]: starts Metrova.exe in the folder (or by the
# Windows path PROGRAM), traced, and waits for its window, not active: a
# click on its caption (where the settings put it) activates it for the keys.
run_in_folder() {
    (cd "$folder" && WINEDEBUG=trace+file exec $wine "${2:-Metrova.exe}" </dev/null >/dev/null 2>>"$trace") &
    metrova=$!
    tool wait-window mkMetrovaWnd 60 >/dev/null || { echo "FAIL: the main window did not appear $1"; exit 1; }
    wait_for 20 desktop >/dev/null || { echo "FAIL: no Wine desktop window"; exit 1; }
    sleep 1
    xdotool mousemove 200 40 click 1
    sleep 0.5
}

run_in_folder "at the first start"
import -window root "$build/metrova-unicode-folder.png" 2>/dev/null || fail "no screenshot"
keys Return  # the add command, the default button
tool wait-dialog 15 || fail "Enter opened no tap dialog"
sleep 0.5
xdotool windowfocus --sync "$(desktop)" key --delay 300 t t t t
keys Escape
wait_for 10 rows_are 1 || fail "the tapped take is not listed: $(tool list-rows) rows"
close_metrova "from the folder"
[ -e "$folder/Metrova.takes" ] || fail "no session beside the program: $(ls "$folder")"
[ ! -e "$folder/Metrova.journal" ] || fail "the journal stayed after the take was listed"

# Started by its short path, as a tool entry that holds the 8.3 path starts
# it: the files are still reached by the long name.
short=$($wine winepath -s "$(winepath "$folder/Metrova.exe")" 2>/dev/null | tr -d '\r')
case $short in *'~'*) ;; *) fail "no short path to start by: $short" ;; esac
run_in_folder "at the second start, by the short path" "$short"
wait_for 10 rows_are 1 || fail "the take of the first run was not restored: $(tool list-rows) rows"
# The about dialog names the program by its long path too.
keys alt+h v
tool wait-dialog 15 || fail "the about dialog did not open"
program=$(winpath "$folder/Metrova.exe")
tool texts dialog | grep -qxF "$program" || fail "the about dialog does not show the program's long path"
keys Escape
tool wait-no-dialog 15 || fail "Escape did not close the about dialog"

# The sequencer's tool entry names the program by a path it can start:
# the short form of the long path, whatever the folder is called. The box
# is ticked and then cleared through the options, which removes the entry
# again from this prefix, shared with other sessions.
tool_key='HKLM\Software\Cakewalk Music Software\Tools Menu\SmfMetrova'
toggle_tool_entry() {
    keys alt+e o
    tool wait-dialog 15 || fail "the options dialog did not open $1"
    sleep 0.5
    keys alt+t Return
    tool wait-no-dialog 15 || fail "the options dialog did not close $1"
}
toggle_tool_entry "to register the tool"
entry=$($wine reg query "$tool_key" /v ExePath 2>/dev/null | tr -d '\r' | sed -n 's/^ *ExePath *REG_SZ *//p')
expected=$(winpath "$short")
[ "$entry" = "$expected" ] || fail "the tool entry names '$entry', not the short path '$expected'"
toggle_tool_entry "to remove the tool"
! $wine reg query "$tool_key" >/dev/null 2>&1 || fail "the tool entry was not removed"
close_metrova "from the folder, again"

settings=$(tr -d '\r' <"$folder/Metrova.ini")
echo "$settings" | grep -qx 'TimeSigBase=3' || fail "the eighth note was not kept: $settings"
echo "$settings" | grep -qx 'TempoInterpCount=3' || fail "the interpolation count was not kept: $settings"
echo "$settings" | grep -qx 'RestoreTakes=1' || fail "the settings file was not written back: $settings"
[ "$(ls "$folder" | grep -c '^Metrova\.ini$')" = 1 ] || fail "settings written elsewhere: $(ls "$folder")"
[ -z "$(ls "$work" | grep -i '\.ini$\|\.takes$')" ] || fail "files outside the program folder: $(ls "$work")"
[ -z "$(ls "$folder" | grep '^~mtv')" ] || fail "temporary files left: $(ls "$folder")"

# The trace spells the folder's characters outside ASCII as \xxxx (printf,
# not echo, which would read those as escapes).
long='\30c6\30f3\30dd \266a caf\00e9 \d55c\ad6d\\'
calls=$(grep -a 'Metrova\.\(ini\|takes\|journal\)\|~mtv' "$trace" | grep -a 'CreateFile\|name=L')
for name in Metrova.ini Metrova.takes Metrova.journal '~mtv'; do
    printf '%s\n' "$calls" | grep -aF "$long$name" >/dev/null || fail "no file call names $name in the long folder"
done
others=$(printf '%s\n' "$calls" | grep -avF "$long")
[ -z "$others" ] || fail "file calls not by the long folder name: $(printf '%s\n' "$others" | head -n 3)"

finish "Metrova.exe in a folder named with characters outside code page 932 keeps its settings and takes there, by the folder's long name"
