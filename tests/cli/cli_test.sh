#!/bin/sh
# End-to-end tests of metrova-cli through the real executable.
#   cli_test.sh WORKDIR COMMAND...   (COMMAND runs the program, e.g. under Wine)
set -u
work=$1
shift
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
CLI_CMD="$*"
run() { $CLI_CMD "$@"; }
hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }
expect_status() {  # expect_status WANT WHAT -- ARGS...
    status_wanted=$1; what=$2; shift 3
    run "$@" >out 2>err
    status_got=$?
    [ "$status_got" -eq "$status_wanted" ] || fail "$what: exit $status_got, expected $status_wanted ($(cat err))"
}

printf '0 500 1000\n' >take_a
printf '100\n600\r\n1100' >take_b      # relative to its first tap, CR LF tolerated

# Two equal takes, quarter notes, no interpolation: the known 41-byte map.
want=4d546864000000060000000109d84d54726b0000001300ff510307a1209358ff510307a12000ff2f00
expect_status 0 "export to standard output" -- export take_a take_b
[ "$(hex out)" = "$want" ] || fail "export bytes: $(hex out)"
[ ! -s err ] || fail "export of uniform takes wrote to standard error: $(cat err)"

expect_status 0 "export --out" -- export --out map.mid take_a take_b
[ "$(hex map.mid)" = "$want" ] || fail "--out bytes: $(hex map.mid)"
[ ! -s out ] || fail "--out also wrote to standard output"

# --out replaces an existing file whole.
head -c 5000 /dev/zero >big.mid
expect_status 0 "export over a larger file" -- export --out big.mid take_a take_b
[ "$(hex big.mid)" = "$want" ] || fail "replaced file holds $(wc -c <big.mid) bytes"

# An unwritable destination: exit 1, the message names it, nothing is left.
expect_status 1 "export into a missing folder" -- export --out nowhere/map.mid take_a
grep -q "nowhere/map.mid" err || fail "error does not name the file: $(cat err)"
[ ! -e nowhere ] || fail "a folder was created"

# A chord's two keys, the same time twice: one beat, said, and the map is
# the one of the take without the repeat (no 1 µs tempo anywhere).
printf '0 500 500 1000\n1000 1500\n' >chord
printf '0 500 1000 1500\n' >no_chord
expect_status 0 "export of a take with repeated times" -- export no_chord
cp out no_chord.mid
expect_status 0 "export of a take with repeated times" -- export chord
cmp -s out no_chord.mid || fail "repeated times changed the map: $(hex out)"
grep -q "'chord': 2 repeated tap times dropped" err || fail "repeats not reported: $(cat err)"
# Times that run back: refused, naming the line.
printf '0 500\n400 900\n' >backwards
expect_status 1 "export of times that run back" -- export backwards
grep -q "'backwards': line 2: the tap time 400 lies before the one above it" err || fail "backwards: $(cat err)"
[ ! -s out ] || fail "a take whose times run back was exported"

# Unequal tap counts: averaged as if confirmed, with a warning.
printf '0 500 1000 1500' >long
printf '0 400' >short
expect_status 0 "export of unequal takes" -- export long short
grep -qi "warning" err || fail "no warning for unequal takes"
# Tempos 450000, 550000, 500000: 06 dd d0, 08 64 70, 07 a1 20.
case "$(hex out)" in
*ff510306ddd0*ff5103086470*ff510307a120*) ;;
*) fail "unequal takes: $(hex out)" ;;
esac

# Interpolation and base note reach the computation: Q = 1 halves the
# deltas (1260 ticks: 89 6c).
expect_status 0 "export --interp 1" -- export --interp 1 take_a
case "$(hex out)" in
*00ff510307a120*896cff510307a120*896cff510307a120*896cff510307a120*) ;;
*) fail "--interp 1: $(hex out)" ;;
esac
expect_status 0 "export --base 3" -- export --base 3 take_a
case "$(hex out)" in
*00ff51030f4240*896cff51030f4240*) ;;  # eighth notes 500 ms apart: 1000000 us per quarter
*) fail "--base 3: $(hex out)" ;;
esac

# Takes of fewer than two taps are left out; none left is an error.
printf '42' >single
: >empty
expect_status 0 "export with a one-tap take" -- export single take_a
[ "$(hex out)" = "$(run export take_a | od -An -v -tx1 | tr -d ' \n')" ] || fail "one-tap take changed the result"
expect_status 1 "export of only short takes" -- export single empty
[ ! -s out ] || fail "output written although no take was usable"

# Malformed take files name the file and the line.
printf '0\n500\n5x0\n' >bad_take
expect_status 1 "malformed take" -- export bad_take
grep -q "bad_take" err && grep -q "line 3" err || fail "malformed take message: $(cat err)"
printf '0 4294967296' >huge_take
expect_status 1 "tap time beyond 32 bits" -- export huge_take
expect_status 1 "missing take file" -- export no_such_take
grep -q "no_such_take" err || fail "missing file not named: $(cat err)"

# A folder named as a file: every command refuses it by name and says why.
mkdir folder
for cmd in export analyze import "repair --out-dir ."; do
    expect_status 1 "$cmd of a folder" -- $cmd folder
    grep -q "'folder': a folder, not a file" err || fail "$cmd of a folder: $(cat err)"
    [ ! -s out ] || fail "$cmd of a folder printed something"
done
# A folder as the output: refused before anything is written, into it or
# beside it.
expect_status 1 "export --out a folder" -- export --out folder take_a
grep -q "'folder': a folder" err || fail "--out a folder: $(cat err)"
[ -z "$(ls folder)" ] || fail "something was written into the folder: $(ls folder)"
ls | grep -q '\.tmp$' && fail "a temporary file was left: $(ls)"
expect_status 1 "repair --out-dir a file" -- repair --out-dir take_a take_a
grep -q "'take_a': not an existing folder" err || fail "--out-dir a file: $(cat err)"
mkdir -p clash/take_a
expect_status 1 "repair onto a folder of the take's name" -- repair --out-dir clash take_a
grep -q "'clash/take_a': a folder" err || fail "repair onto a folder: $(cat err)"

# Bounded reading. A file beyond the size limit is refused by its size (a
# sparse file: nothing of it is on the disk)...
dd if=/dev/null of=huge.txt bs=1 seek=300000000 2>/dev/null
expect_status 1 "export of a file beyond the size limit" -- export huge.txt
grep -q "'huge.txt': larger than" err || fail "file beyond the limit: $(cat err)"
# ...and a device without end at the limit, promptly (POSIX only).
if [ "$#" -eq 1 ]; then
    expect_status 1 "export of /dev/zero" -- export /dev/zero
    grep -q "larger than" err || fail "/dev/zero: $(cat err)"
fi
# A line far longer than its kind of file has is refused by its number.
awk 'BEGIN { printf "1.0\n1.5,"; for (i = 0; i < 70000; i++) printf "x"; printf "\n2.0\n" }' >long_label.txt
expect_status 1 "beat list with a line beyond 64 KiB" -- export long_label.txt
grep -q "'long_label.txt': line 2: more than 64 KiB long" err || fail "long beat list line: $(cat err)"
awk 'BEGIN { printf "Metrova takes 1\ntake 2026-12-07T14:30:05 2 x="; for (i = 0; i < 70000; i++) printf "x";
             printf "\n0\n500\nend\n" }' >long_field.takes
expect_status 1 "session with a line beyond 64 KiB" -- analyze long_field.takes
grep -q "'long_field.takes': line 2: more than 64 KiB long" err || fail "long session line: $(cat err)"
{ echo 0; yes 500 | head -n 4300000 | tr '\n' ' '; echo; } >long_line_take
expect_status 1 "take file with a line beyond 16 MiB" -- export long_line_take
grep -q "'long_line_take': line 2: more than 16 MiB long" err || fail "long take line: $(cat err)"
[ ! -s out ] || fail "a take with a line beyond the limit was exported"

# Import: the exported map read back in eighth notes.
expect_status 0 "import" -- import --base 3 map.mid
[ "$(tr -d '\r' <out | tr '\n' ' ')" = "0 250 " ] || fail "import printed: $(cat out)"
# Quarter notes: a single beat, no take: refused as a file that adds nothing.
expect_status 1 "import of one beat" -- import map.mid
[ ! -s out ] || fail "one beat printed: $(cat out)"
grep -q "'map.mid': the tempo map gives no take" err || fail "one beat: $(cat err)"

# Refused and unreadable files.
printf 'MThd' >truncated.mid
: >empty.mid
printf 'not midi at all' >text.mid
for f in truncated.mid empty.mid text.mid; do
    expect_status 1 "import of $f" -- import "$f"
    grep -q "'$f'" err || fail "refusal of $f does not name it: $(cat err)"
    [ ! -s out ] || fail "refused $f printed something"
done
expect_status 1 "import of a missing file" -- import no_such.mid

# Analysis and repair. A steady take of 24 taps (500 ms, a little jitter);
# the same with beat 10 not tapped, and on a clock 1000 ms later (time_ms
# is the file's own); the same with a second tap 70 ms after tap 12.
awk 'BEGIN { split("0 7 -5 3 -8 6 -2 4", w, " "); for (i = 0; i < 24; i++) print i * 500 + w[i % 8 + 1] }' >steady
awk 'NR != 11 { print $1 + 1000 }' steady >missed
awk '{ print } NR == 13 { print $1 + 70 }' steady >double
expect_status 0 "analyze" -- analyze steady missed double
want_findings="$(printf '2\tmissed\t9\t%s\n3\textra\t13\t%s' "$(sed -n 10p missed)" "$(sed -n 14p double)")"
[ "$(tr -d '\r' <out)" = "$want_findings" ] || fail "analyze printed: $(cat out)"
expect_status 0 "analyze of a clean take" -- analyze steady
[ ! -s out ] || fail "findings on a clean take: $(cat out)"

mkdir rep
expect_status 0 "repair" -- repair --out-dir rep steady missed double
[ "$(tr -d '\r' <rep/steady)" = "$(cat steady)" ] || fail "repair changed the clean take"
[ "$(wc -l <rep/missed)" -eq 24 ] && [ "$(wc -l <rep/double)" -eq 24 ] || fail "repaired takes do not hold 24 taps"
# Repairing repaired takes changes nothing; the repaired files read back
# as takes.
expect_status 0 "export --repair" -- export --repair steady missed double
cp out repaired_map
expect_status 0 "export --repair of repaired takes" -- export --repair rep/steady rep/missed rep/double
cmp -s out repaired_map || fail "repaired takes repaired again give other bytes"
expect_status 0 "export --smooth auto" -- export --smooth auto steady
[ "$(hex out)" != "$(run export steady | od -An -v -tx1 | tr -d ' \n')" ] || fail "--smooth auto changed nothing"
expect_status 0 "export --smooth 0" -- export --smooth 0 steady
[ "$(hex out)" = "$(run export steady | od -An -v -tx1 | tr -d ' \n')" ] || fail "--smooth 0 is not the plain export"

# A session saved by Metrova: all its takes, the same bytes as their take
# files (CR LF as Metrova writes it).
{
    printf 'Metrova takes 1\r\n'
    for f in steady missed double; do
        printf 'take 2026-12-07T14:30:05 %s\r\n' "$(wc -l <$f | tr -d ' ')"
        awk 'NR == 1 { first = $1 } { printf "%d\r\n", $1 - first }' $f
    done
    printf 'end\r\n'
} >saved.takes
expect_status 0 "export --repair of a session" -- export --repair saved.takes
cmp -s out repaired_map || fail "a session's takes export other bytes than their take files"
expect_status 0 "analyze of a session" -- analyze saved.takes
[ "$(tr -d '\r' <out | cut -f1-3 | tr '\n' ' ')" = "2	missed	9 3	extra	13 " ] || fail "analyze of a session: $(cat out)"
# A take unchecked in Metrova (checked=0) is left out as Metrova leaves it
# out: the session without it exports as the other two take files.
awk 'BEGIN { n = 0 } /^take / { n++; if (n == 2) { sub(/\r$/, ""); print $0 " checked=0\r"; next } } { print }' saved.takes >unchecked.takes
expect_status 0 "export of a session with an unchecked take" -- export unchecked.takes
cp out unchecked_map
expect_status 0 "export of the checked takes' files" -- export steady double
cmp -s out unchecked_map || fail "an unchecked take of a session was exported"

# A beat list (seconds, with labels) reads as the take of its times.
printf '1.000\tone\n1.5,two\n2.0004 three\n' >beats.txt
printf '0 500 1000' >beats_ms
expect_status 0 "export of a beat list" -- export beats.txt
[ "$(hex out)" = "$(run export beats_ms | od -An -v -tx1 | tr -d ' \n')" ] || fail "beat list read as $(hex out)"
printf '1.0\nsoon\n' >bad_beats.txt
expect_status 1 "bad beat list" -- export bad_beats.txt
grep -q "bad_beats.txt" err && grep -q "line 2: 'soon'" err || fail "bad beat list message: $(cat err)"

# info: a WAV written here byte by byte (16-bit stereo at 44.1 kHz, 22050
# frames, a LIST chunk before the data), the same recording as Ogg Vorbis
# when sox is there to encode it, and files that are no recording.
le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
{ printf 'RIFF'; le32 $((4 + 24 + 14 + 8 + 88200)); printf 'WAVEfmt '; le32 16
  printf '\001\000\002\000'; le32 44100; le32 176400; printf '\004\000\020\000'
  printf 'LIST'; le32 5; printf 'INFOx\000'; printf 'data'; le32 88200; head -c 88200 /dev/zero; } >take.wav
expect_status 0 "info of a WAV" -- info take.wav
want_info="$(printf 'format\tWAV PCM 16-bit\nrate\t44100\nchannels\t2\nframes\t22050\nlength_ms\t500')"
[ "$(tr -d '\r' <out)" = "$want_info" ] || fail "info of a WAV printed: $(cat out)"
if command -v sox >/dev/null 2>&1; then
    sox -V1 -n -r 22050 -c 1 take.ogg synth 1.25 sine 440 2>/dev/null || fail "sox cannot write Ogg Vorbis: install libsox-fmt-all"
    expect_status 0 "info of an Ogg Vorbis file" -- info take.ogg
    # The frames as sox counts them in the file it wrote.
    want_info="$(printf 'format\tOgg Vorbis\nrate\t22050\nchannels\t1\nframes\t%s\nlength_ms\t1250' "$(sox --i -s take.ogg)")"
    [ "$(tr -d '\r' <out)" = "$want_info" ] || fail "info of an Ogg Vorbis file printed: $(cat out)"
else
    fail "sox is missing: install the Debian packages sox and libsox-fmt-all (sh scripts/setup.sh native)"
fi
expect_status 1 "info of a take file" -- info take_a
grep -q "'take_a' is not a recording Metrova can read (it reads WAV, Ogg Vorbis)" err || fail "info of a take file: $(cat err)"
[ ! -s out ] || fail "info of a take file printed something"
head -c 60 take.wav >cut.wav
printf '\000\000' | dd of=cut.wav bs=1 seek=22 conv=notrunc 2>/dev/null
expect_status 1 "info of a WAV without channels" -- info cut.wav
grep -q "'cut.wav' cannot be read: it has no channels" err || fail "info of a WAV without channels: $(cat err)"
expect_status 1 "info of a missing file" -- info no_such.wav
grep -q "'no_such.wav': no such file" err || fail "info of a missing file: $(cat err)"
expect_status 2 "info of two files" -- info take.wav take.wav
expect_status 2 "--base on info" -- info --base 3 take.wav

# onsets: clicks written here at known samples (44.1 kHz, 16-bit, levels
# over 40 dB) and made a WAV by sox; each is found once, within 1 ms of
# where a note sounding as it would start: the detector's kSpeaksMs
# (core/audio/OnsetStrength.h) before it.
speaks=4.5
if command -v sox >/dev/null 2>&1; then
    LC_ALL=C awk 'BEGIN {
        split("11025 30870 54441 79380 110250", at, " ")
        split("20000 2000 200 20000 6000", level, " ")
        for (c = 1; c <= 5; c++) click[at[c]] = level[c]
        for (i = 0; i < 132300; i++) {
            v = (i in click) ? click[i] : 0
            printf "%c%c", v % 256, int(v / 256)
        }
    }' >clicks.raw
    sox -V1 -t raw -e signed -b 16 -r 44100 -c 1 clicks.raw clicks.wav || fail "sox cannot write clicks.wav"
    expect_status 0 "onsets of clicks" -- onsets clicks.wav
    tr -d '\r' <out | LC_ALL=C awk -F '\t' -v speaks=$speaks '
        BEGIN { split("11025 30870 54441 79380 110250", at, " ") }
        NF != 2 || $1 !~ /^[0-9]+\.[0-9]$/ || !($2 > 0 && $2 <= 1) { bad = bad " [" $0 "]" }
        { n++; d = $1 - (at[n] / 44.1 - speaks); if (d < -1 || d > 1) bad = bad " [" $0 " is not " at[n] / 44.1 - speaks "]" }
        END { if (n != 5 || bad != "") { print n " onsets:" bad; exit 1 } }' >onset_check ||
        fail "onsets of clicks: $(cat onset_check); printed $(cat out)"
    sox -V1 -n -r 22050 -c 2 -b 16 quiet.wav trim 0 1.5 || fail "sox cannot write quiet.wav"
    expect_status 0 "onsets of silence" -- onsets quiet.wav
    [ ! -s out ] || fail "onsets of silence printed: $(cat out)"
    # Nothing to snap onto: the beats stay as tapped, and the user is told.
    printf '100 600 1100\n' >quiet_take
    expect_status 0 "beats without snapping" -- beats --audio quiet.wav quiet_take
    cp out quiet_beats
    for command in export beats; do
        expect_status 0 "$command snapped onto silence" -- $command --audio quiet.wav --snap quiet_take
        grep -q "warning: no beat found a clear onset in the recording" err || fail "$command --snap onto silence: $(cat err)"
    done
    cmp -s out quiet_beats || fail "snapping onto silence moved beats: $(tr '\n' ' ' <out)"
    # --snap: clicks every 500 ms from 0.5 s but for 3.0 to 4.0 s, tapped
    # 40 ms late: the beats go onto the clicks, the three without one are
    # unsure, and a session's beat moved by hand wins.
    LC_ALL=C awk 'BEGIN {
        for (b = 1; b <= 12; b++) if (b < 6 || b > 8) for (k = 0; k < 200; k++) click[b * 22050 + k] = (k % 2 ? -1 : 1) * int(16000 * (200 - k) / 200)
        for (i = 0; i < 308700; i++) { v = (i in click) ? click[i] : 0; if (v < 0) v += 65536; printf "%c%c", v % 256, int(v / 256) }
    }' >beat_clicks.raw
    sox -V1 -t raw -e signed -b 16 -r 44100 -c 1 beat_clicks.raw beat_clicks.wav || fail "sox cannot write beat_clicks.wav"
    printf '540 1040 1540 2040 2540 3040 3540 4040 4540 5040 5540 6040\n' >late_take
    expect_status 0 "beats snapped" -- beats --audio beat_clicks.wav --snap late_take
    [ ! -s err ] || fail "beats --snap onto clicks wrote to standard error: $(cat err)"
    tr -d '\r' <out | LC_ALL=C awk -v speaks=$speaks '
        { for (b = 1; b <= 12; b++) if (b < 6 || b > 8) { d = $1 - (500 * b - speaks); if (d > -2 && d < 2) on[b] = 1 } }
        END { for (b = 1; b <= 12; b++) if ((b < 6 || b > 8) && !(b in on)) { print "no beat on the click at " 500 * b; exit 1 } }' >snap_check ||
        fail "beats --snap: $(cat snap_check): $(tr '\n' ' ' <out)"
    expect_status 0 "analyze snapped" -- analyze --audio beat_clicks.wav --snap late_take
    [ "$(tr -d '\r' <out | grep -c '^map	unsure	')" = 3 ] || fail "analyze --snap: $(cat out)"
    tr -d '\r' <out | grep '^map	unsure	' | cut -f3 | tr '\n' ' ' >unsure_beats
    [ "$(cat unsure_beats)" = "5 6 7 " ] || fail "analyze --snap named unsure beats $(cat unsure_beats)"
    printf 'Metrova takes 2\r\nrecording size=1 hash=0000000000000001 path=beat_clicks.wav\r\nedit at=2000000 to=2100000\r\ntake 2026-12-07T10:00:00 12 anchor=540\r\n' >edited.takes
    for t in 0 500 1000 1500 2000 2500 3000 3500 4000 4500 5000 5500; do printf '%s\r\n' $t >>edited.takes; done
    printf 'end\r\n' >>edited.takes
    expect_status 0 "beats snapped with an edit" -- beats --audio beat_clicks.wav --snap edited.takes
    tr -d '\r' <out | grep -qx '2100.000' || fail "the session's edit was not applied: $(tr '\n' ' ' <out)"
    tr -d '\r' <out | LC_ALL=C awk -v t=2000 -v speaks=$speaks '{ d = $1 - (t - speaks) } d > -2 && d < 2 { found = 1 } END { exit !found }' &&
        fail "the edited beat is still on its click: $(tr '\n' ' ' <out)"
fi
expect_status 2 "--snap without a recording" -- beats --snap take_a
expect_status 2 "--snap on repair" -- repair --audio take.wav --snap --out-dir rec_out take_a
expect_status 1 "onsets of a take file" -- onsets take_a
grep -q "'take_a' is not a recording Metrova can read" err || fail "onsets of a take file: $(cat err)"
expect_status 2 "onsets of two files" -- onsets take.wav take.wav
expect_status 2 "--base on onsets" -- onsets --base 3 take.wav

# beats: the beat times the spline runs through. Without a recording they
# start at 0 whatever the take files' first times; with --audio the take
# files' times are times on the recording, and the map is lined up with its
# first sample: here two takes on 2000, 2500, ... (one tapped from 2500 on:
# a beat late, which its time tells), so four lead-in beats of 500 ms.
printf '2000 2500 3000 3500 4000 4500\n' >rec_a
printf '2500 3000 3500 4000 4500\n' >rec_b
# Six seconds of silence, 16-bit mono at 8 kHz: the takes lie on it.
{ printf 'RIFF'; le32 $((36 + 96000)); printf 'WAVEfmt '; le32 16
  printf '\001\000\001\000'; le32 8000; le32 16000; printf '\002\000\020\000'
  printf 'data'; le32 96000; head -c 96000 /dev/zero; } >long.wav
expect_status 0 "beats without a recording" -- beats rec_a
[ "$(tr -d '\r' <out | tr '\n' ' ')" = "0.000 500.000 1000.000 1500.000 2000.000 2500.000 " ] || fail "beats: $(cat out)"
expect_status 0 "beats on the recording" -- beats --audio long.wav rec_a rec_b
[ "$(tr -d '\r' <out | tr '\n' ' ')" = "0.000 500.000 1000.000 1500.000 2000.000 2500.000 3000.000 3500.000 4000.000 4500.000 " ] ||
    fail "beats --audio: $(cat out)"
expect_status 0 "beats on the recording, repaired" -- beats --audio long.wav --repair rec_a rec_b
[ "$(tr -d '\r' <out | tr '\n' ' ')" = "0.000 500.000 1000.000 1500.000 2000.000 2500.000 3000.000 3500.000 4000.000 4500.000 " ] ||
    fail "beats --audio --repair: $(cat out)"
# The late take is a fact of the recording: no start finding.
expect_status 0 "analyze on the recording" -- analyze --audio long.wav rec_a rec_b
! grep -q start out || fail "analyze --audio found a start: $(cat out)"
# The lined-up map's own beats, read back by import, are those times.
expect_status 0 "export on the recording" -- export --audio long.wav --out lined.mid rec_a rec_b
expect_status 0 "import of the lined-up map" -- import lined.mid
[ "$(tr -d '\r' <out | head -n 8 | tr '\n' ' ')" = "0 500 1000 1500 2000 2500 3000 3500 " ] || fail "lined-up map imports as: $(cat out)"
# Repaired on the recording: the take files keep their recording times.
mkdir -p rec_out
expect_status 0 "repair on the recording" -- repair --audio long.wav --out-dir rec_out rec_a rec_b
[ "$(tr -d '\r' <rec_out/rec_b | tr '\n' ' ')" = "2500 3000 3500 4000 4500 " ] || fail "repair --audio wrote: $(cat rec_out/rec_b)"
# Takes that start after the recording ends are not on it.
expect_status 1 "takes after the end of the recording" -- beats --audio take.wav rec_a
grep -q "'rec_a': its first tap (2000 ms) lies after the end of the recording (500 ms)" err ||
    fail "takes after the end: $(cat err)"
# A label list's times are times on the recording too.
printf '2.000\tone\n2.500\n3.000\n3.500\n' >rec_labels
expect_status 0 "beats of a label list on the recording" -- beats --audio long.wav rec_labels
[ "$(tr -d '\r' <out | tr '\n' ' ')" = "0.000 500.000 1000.000 1500.000 2000.000 2500.000 3000.000 3500.000 " ] ||
    fail "beats of a label list --audio: $(cat out)"
expect_status 1 "--audio of a file that is no recording" -- beats --audio take_a rec_a
grep -q "'take_a' is not a recording Metrova can read" err || fail "--audio of a take file: $(cat err)"
expect_status 2 "--audio without a value" -- beats rec_a --audio
expect_status 2 "--interp on beats" -- beats --interp 2 rec_a

# Bad arguments.
expect_status 2 "no command" --
expect_status 2 "unknown command" -- frobnicate
expect_status 2 "unknown option" -- export --fast take_a
expect_status 2 "--base 6" -- export --base 6 take_a
expect_status 2 "--interp -1" -- export --interp -1 take_a
expect_status 2 "--interp x" -- export --interp x take_a
expect_status 2 "--out without value" -- export take_a --out
expect_status 2 "export without takes" -- export
expect_status 2 "import of two files" -- import map.mid map.mid
expect_status 2 "--interp on import" -- import --interp 1 map.mid
expect_status 2 "--smooth 11" -- export --smooth 11 take_a
expect_status 2 "--smooth on analyze" -- analyze --smooth auto take_a
expect_status 2 "repair without --out-dir" -- repair take_a
expect_status 1 "analyze of a missing file" -- analyze no_such_take
expect_status 1 "repair into a missing folder" -- repair --out-dir nowhere take_a
expect_status 0 "--help" -- --help
for word in export beats analyze repair import info onsets --repair --smooth --out-dir --audio; do
    grep -q -- "$word" out || fail "--help does not explain $word"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "metrova-cli: all end-to-end checks passed"
