#!/bin/sh
# End to end through the real Metrova.exe (run by run_session.sh): nothing is
# lost. A take being tapped when the program is killed comes back as a listed
# take at the next start (from the journal "Metrova.journal", written at least
# once a second while tapping), and is told of once; a second copy started in
# the same folder hands over to the first; a damaged session file
# "Metrova.takes" is renamed aside, the user is told, and the program starts
# with an empty list.
set -u
. "$E2E_LIB"
# holds_take FILE TAPS: the session-format FILE holds a take of TAPS taps.
holds_take() { tr -d '\r' <"$1" 2>/dev/null | grep -q "^take [0-9T:-]* $2\$"; }

start_metrova
keys Return  # the add command, the default button
tool wait-dialog 15 || fail "Enter opened no tap dialog"
sleep 0.5
xdotool windowfocus --sync "$(desktop)" key --delay 300 t t t t t
wait_for 5 test -s Metrova.journal || fail "no journal while tapping"
sleep 1.5  # one more period: the journal holds every tap
holds_take Metrova.journal 5 || fail "the journal does not hold the five taps: $(tr '\r\n' '  ' <Metrova.journal)"

# Killed like a crash: no message reaches the program, nothing is cleaned up.
$wineserver -k
wait "$metrova" 2>/dev/null
[ -e Metrova.journal ] || fail "the journal went with the killed program"

start_metrova after the kill
# The rescued take is told of once.
tool wait-dialog 15 || fail "no word about the take rescued from the journal"
tool texts dialog | grep -q "復元" || fail "the notice does not tell of the restored take: $(tool texts dialog)"
keys Return
tool wait-no-dialog 15 || fail "the notice did not close"
wait_for 10 rows_are 1 || fail "after the kill the list has $(tool list-rows) rows"

# A second copy in the same folder would share the session and journal: it
# brings the first copy forward and ends, and the first keeps its take.
$wine Metrova.exe </dev/null >/dev/null 2>&1 &
second=$!
wait_for 30 sh -c "! kill -0 $second 2>/dev/null" || fail "the second copy did not end"
[ "$(tool count-windows mkMetrovaWnd)" = 1 ] || fail "$(tool count-windows mkMetrovaWnd) main windows after a second start"
[ "$(tool foreground-class)" = mkMetrovaWnd ] || fail "the first copy was not brought forward: $(tool foreground-class)"
rows_are 1 || fail "after a second start the list has $(tool list-rows) rows"
[ ! -e Metrova.journal ] || fail "the journal is still there after its take was listed"
holds_take Metrova.takes 5 || fail "the session does not hold the take: $(tr '\r\n' '  ' <Metrova.takes)"
close_metrova after the kill
holds_take Metrova.takes 5 || fail "closing lost the session's take"

# A session cut off in the middle of a take.
printf 'Metrova takes 1\r\ntake 2026-12-07T14:30:05 3\r\n0\r\n5' >damaged.takes
cp damaged.takes Metrova.takes
start_metrova with a damaged session
tool wait-dialog 15 || fail "no message about the damaged session"
keys Return
tool wait-no-dialog 15 || fail "the message did not close"
rows_are 0 || fail "the list has $(tool list-rows) rows after a damaged session"
set -- Metrova.takes.bad-*
[ $# = 1 ] && [ -e "$1" ] || fail "the damaged session was not kept aside: $(ls)"
cmp -s "$1" damaged.takes || fail "the kept session is not the damaged file"
[ ! -e Metrova.takes ] || fail "a session was written although nothing changed"
close_metrova with a damaged session

finish "Nothing lost end to end: the killed take listed again and told of, a second copy handed over, the damaged session kept aside"
