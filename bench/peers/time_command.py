"""Times a whole command for the peer benchmark (scripts/bench-peers.sh).

    time_command.py MIN_RUNS BUDGET_SECONDS COMMAND [ARG...]

Runs COMMAND (its output thrown away) at least MIN_RUNS times and until the
budget is spent (at most 100 runs), and prints the wall time of each run in
milliseconds on a line of its own as soon as it ends. Exits with the
command's status if it fails.
"""
import subprocess
import sys
import time


def main():
    min_runs, budget = int(sys.argv[1]), float(sys.argv[2])
    command = sys.argv[3:]
    start = time.perf_counter()
    runs = 0
    while runs < 100 and (runs < min_runs or time.perf_counter() - start < budget):
        t0 = time.perf_counter()
        status = subprocess.call(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        t1 = time.perf_counter()
        if status != 0:
            sys.exit(status)
        print("%.3f" % ((t1 - t0) * 1000.0), flush=True)
        runs += 1


main()
