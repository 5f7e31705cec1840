/* The libsmf runner of the peer benchmark (scripts/bench-peers.sh).
 *
 *   libsmf_bench FILE MIN_RUNS BUDGET_SECONDS
 *
 * Times smf_load(FILE). Each run prints its wall time in milliseconds on a
 * line of its own as soon as it ends, so a run cut short by a time-out still
 * reports the runs it finished. Runs at least MIN_RUNS times and until the
 * budget is spent (at most 100 runs).
 *
 * smf_delete takes far longer than the load on large files (it detaches the
 * events one at a time): it runs outside the clock, and only when another
 * run follows; the process exit frees the last load. */
#include <smf.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1.0e6;
}

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: libsmf_bench FILE MIN_RUNS BUDGET_SECONDS\n");
        return 2;
    }
    const char* path = argv[1];
    const int min_runs = atoi(argv[2]);
    const double budget_ms = atof(argv[3]) * 1000.0;
    const double start = now_ms();
    int runs = 0;
    for (;;) {
        const double t0 = now_ms();
        smf_t* smf = smf_load(path);
        const double t1 = now_ms();
        if (!smf) {
            fprintf(stderr, "libsmf_bench: smf_load failed on %s\n", path);
            return 1;
        }
        printf("%.3f\n", t1 - t0);
        fflush(stdout);
        ++runs;
        if (runs >= 100 || (runs >= min_runs && now_ms() - start >= budget_ms))
            break;
        smf_delete(smf);
    }
    return 0;
}
