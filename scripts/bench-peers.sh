#!/bin/bash
# Side-by-side speed of our Standard MIDI File library and peer MIDI
# libraries: midicsv, Python mido, libsmf, the npm package midi-file.
#
# Installs what is missing (Debian packages; midi-file into build/bench-node),
# builds bench/ in Release, writes the synthetic files into build/bench-files/
# (bench/make_bench_files.cpp: the same bytes every run), times ours and the
# peers one after the other, and prints Markdown tables with ratios (ours /
# peer, ours / floor) and the goals. The raw results and the tables stay in
# build/bench-files/results.tsv and results.md, the peers' messages in
# peers.log. Slow peers are cut off by time-outs and reported as "> N s".
#
# Environment: BENCH_BUILD_DIR (default build/bench-peers), PARSE_TIMEOUT
# (seconds a peer may take on one file, default 60), WRITE_TIMEOUT (default 30).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BENCH_BUILD_DIR:-build/bench-peers}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
FILES=build/bench-files
NODE_DIR=build/bench-node
PARSE_TIMEOUT=${PARSE_TIMEOUT:-60}
WRITE_TIMEOUT=${WRITE_TIMEOUT:-30}
# Debian's interpreter, the one python3-mido installs into.
PY=/usr/bin/python3
MIDI_FILE_VERSION=1.2.4
started=$(date +%s)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# --- install ---------------------------------------------------------------
packages="cmake ninja-build g++ pkg-config libbenchmark-dev midicsv python3-mido libsmf-dev"
command -v node >/dev/null 2>&1 || packages="$packages nodejs"
# Some Node.js packages bring their own npm; Debian's npm only where none is.
command -v npm >/dev/null 2>&1 || packages="$packages npm"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    if ! as_root apt-get install -y -q $missing >/tmp/metrova-bench-apt.log 2>&1; then
        as_root apt-get update -q >/dev/null
        as_root apt-get install -y -q $missing >/tmp/metrova-bench-apt.log 2>&1 || {
            tail -n 30 /tmp/metrova-bench-apt.log >&2; exit 1; }
    fi
fi
if [ ! -f "$NODE_DIR/node_modules/midi-file/package.json" ]; then
    echo "Installing midi-file $MIDI_FILE_VERSION into $NODE_DIR" >&2
    mkdir -p "$NODE_DIR"
    npm install --prefix "$NODE_DIR" --no-audit --no-fund --silent "midi-file@$MIDI_FILE_VERSION" >/dev/null
fi

# --- build and generate ----------------------------------------------------
echo "Building in $BUILD" >&2
cmake -G Ninja -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DMETROVA_TESTS=OFF -DMETROVA_BENCH=ON >/dev/null
cmake --build "$BUILD" --target make_bench_files smf_peer_bench libsmf_bench >/dev/null
mkdir -p "$FILES"
echo "Writing the files into $FILES" >&2
"$BUILD/bench/make_bench_files" "$FILES" >"$FILES/files.tsv"

RESULTS=$FILES/results.tsv
LOG=$FILES/peers.log
: >"$RESULTS"
: >"$LOG"
machine() { printf 'machine\t%s\t%s\n' "$1" "$2" >>"$RESULTS"; }
version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo '?'; }
machine date "$(date +%F)"
machine nproc "$(nproc)"
machine CPU "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
machine "load at start" "$(cut -d' ' -f1-3 /proc/loadavg)"
machine compiler "$(${CXX:-c++} --version | head -n1)"
machine peers "midicsv $(version midicsv), python3-mido $(version python3-mido) on Python $($PY -c 'import platform; print(platform.python_version())'), libsmf $(version libsmf-dev), midi-file $MIDI_FILE_VERSION on Node.js $(node --version)"

ALL="f1-1mib.mid f1-10mib.mid f1-50mib.mid f1-2000trk.mid f0-10mib.mid"

# --- ours ------------------------------------------------------------------
echo "Timing ours" >&2
(cd "$FILES" && "$BUILD/bench/smf_peer_bench" --min-rounds 7 --budget 4 $ALL) >>"$RESULTS"

# --- peers -----------------------------------------------------------------
# run_peer MEASURE FILE LIMIT COMMAND...: each line the command prints is one
# run's milliseconds; a command killed at LIMIT seconds before its first run
# ended is reported as a time-out.
run_peer() {
    local measure=$1 file=$2 limit=$3
    shift 3
    echo "  $measure $file" >&2
    local out rc=0
    out=$(mktemp)
    (cd "$FILES" && timeout --kill-after=5 "$limit" "$@") >"$out" 2>>"$LOG" || rc=$?
    while read -r t; do
        printf 'peer\t%s\t%s\t%s\n' "$file" "$measure" "$t"
    done <"$out" >>"$RESULTS"
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        [ -s "$out" ] || printf 'timeout\t%s\t%s\t%s\n' "$file" "$measure" "$limit" >>"$RESULTS"
    elif [ "$rc" -ne 0 ]; then
        printf 'failed\t%s\t%s\t%s\n' "$file" "$measure" "$rc" >>"$RESULTS"
    fi
    rm -f "$out"
}

# Runs: at least 3 and 2 s where a run is short, a single run where it is not.
runs_for() {
    case "$1" in
        f1-1mib.mid) echo "3 2" ;;
        *) echo "1 0" ;;
    esac
}

P=$ROOT/bench/peers
LIBSMF=$BUILD/bench/libsmf_bench
export NODE_PATH=$ROOT/$NODE_DIR/node_modules
NODE="node --max-old-space-size=16384"
echo "Timing the peers" >&2
for f in $ALL; do
    run_peer midicsv:parse "$f" "$PARSE_TIMEOUT" $PY "$P/time_command.py" 3 2 midicsv "$f" /dev/null
    run_peer midi-file:parse "$f" "$PARSE_TIMEOUT" $NODE "$P/midi_file_bench.js" parse "$f" 3 2
done
for f in $ALL; do
    run_peer mido:parse "$f" "$PARSE_TIMEOUT" $PY "$P/mido_bench.py" parse "$f" $(runs_for "$f")
done
if [ -x "$LIBSMF" ]; then
    for f in $ALL; do
        case "$f" in
            f1-1mib.mid | f1-2000trk.mid) runs="3 2" ;;
            *) runs="1 0" ;;
        esac
        run_peer libsmf:parse "$f" "$PARSE_TIMEOUT" "$LIBSMF" "$f" $runs
    done
fi
# The writers on the files where they finish in reasonable time; midi-file's
# writer slows down with the size of a track, so on 10 MiB it meets the
# time-out. The untimed load before a write counts against the time-out,
# hence the longer one for mido on 10 MiB.
run_peer midi-file:write f1-1mib.mid "$WRITE_TIMEOUT" $NODE "$P/midi_file_bench.js" write f1-1mib.mid 1 0
run_peer midi-file:write f1-10mib.mid "$WRITE_TIMEOUT" $NODE "$P/midi_file_bench.js" write f1-10mib.mid 1 0
run_peer mido:write f1-1mib.mid "$WRITE_TIMEOUT" $PY "$P/mido_bench.py" write f1-1mib.mid 3 2
run_peer mido:write f1-10mib.mid "$PARSE_TIMEOUT" $PY "$P/mido_bench.py" write f1-10mib.mid 1 0

machine "load at end" "$(cut -d' ' -f1-3 /proc/loadavg)"
machine "whole run" "$(($(date +%s) - started)) s"
$PY bench/peers/report.py "$RESULTS" | tee "$FILES/results.md"
