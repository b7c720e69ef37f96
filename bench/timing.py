"""The best of several runs, the figure the benchmarks print (a shared machine only ever
makes a run slower)."""
import time


def best_of(repeats: int, fn, clock=time.perf_counter):
    """Fewest seconds of fn() over the repeats, by the wall clock or, with
    clock=time.process_time, by the CPU time of the process (all threads); and the last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        start = clock()
        result = fn()
        best = min(best, clock() - start)
    return best, result
