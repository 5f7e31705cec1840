"""The mido runner of the peer benchmark (scripts/bench-peers.sh).

    mido_bench.py parse|write FILE MIN_RUNS BUDGET_SECONDS

parse times mido.MidiFile(FILE); write loads the file once, untimed, then
times MidiFile.save into an in-memory file (mido writes running status).
Each run prints its wall time in milliseconds on a line of its own as soon
as it ends, so a run cut short by a time-out still reports what it finished.
Runs at least MIN_RUNS times and until the budget is spent (at most 100).
"""
import io
import sys
import time

import mido


def main():
    mode, path = sys.argv[1], sys.argv[2]
    min_runs, budget = int(sys.argv[3]), float(sys.argv[4])
    loaded = mido.MidiFile(path) if mode == "write" else None
    start = time.perf_counter()
    runs = 0
    while runs < 100 and (runs < min_runs or time.perf_counter() - start < budget):
        if mode == "write":
            out = io.BytesIO()
            t0 = time.perf_counter()
            loaded.save(file=out)
            t1 = time.perf_counter()
        else:
            t0 = time.perf_counter()
            parsed = mido.MidiFile(path)
            t1 = time.perf_counter()
            del parsed  # freed outside the clock
        print("%.3f" % ((t1 - t0) * 1000.0), flush=True)
        runs += 1


main()
