"""What corvalinth.progress costs a run whose objective is cheap.

Times the same seeded native run (small swarm, few dimensions: the iterations are as short as
they get, so a per-iteration callback weighs the most) with a callback that does nothing, with
the plain-line display and with the tqdm bar, and prints the median of several repeats and the
ratios to the do-nothing callback. The displays write to a discarded stream.

    python benchmarks/progress_overhead.py [repeats]
"""

import io
import statistics
import sys
import time
import timeit

import corvalinth as pso
from corvalinth import progress

ITERATIONS = 20_000
SETTINGS = dict(bounds=[(-5.0, 5.0)] * 4, n_particles=10, max_iter=ITERATIONS, seed=1,
                record_history=False)
# The common case: a Python objective, the default swarm of 30, 10 dimensions.
PYTHON_ITERATIONS = 1_000
PYTHON_SETTINGS = dict(bounds=[(-5.0, 5.0)] * 10, max_iter=PYTHON_ITERATIONS, seed=1,
                       record_history=False)


def sphere(x):
    return sum(v * v for v in x)


def nothing(iteration, best_value):
    return None


def callbacks(total):
    sink = io.StringIO()
    yield "callback doing nothing", lambda: nothing
    yield "progress.bar, plain line", lambda: progress.bar(total, file=sink, plain=True)
    try:
        import tqdm  # noqa: F401
    except ImportError:
        return
    yield "progress.bar, tqdm", lambda: progress.bar(total, file=sink)


def measure(title, objective, settings, repeats):
    total = settings["max_iter"]
    print(f"{title}, {total} iterations; median of {repeats} runs")
    baseline = None
    timings = {name: [] for name, _ in callbacks(total)}
    for _ in range(repeats):  # interleaved, so drifts of the machine hit every variant alike
        for name, make in callbacks(total):
            callback = make()
            start = time.perf_counter()
            pso.minimize(objective, callback=callback, **settings)
            timings[name].append(time.perf_counter() - start)
    for name, values in timings.items():
        median = statistics.median(values)
        baseline = baseline or median
        print(f"  {name:28s} {median * 1e3:8.2f} ms  "
              f"{median / total * 1e9:7.0f} ns/iteration  x{median / baseline:.3f}")


def per_call(repeats):
    """The cost of one call by itself, away from the run (steadier on a busy machine)."""
    calls = 200_000
    print(f"one call, best of {repeats} x {calls} calls")
    baseline = None
    for name, make in callbacks(calls * repeats + 1):
        callback = make()
        best = min(timeit.repeat(lambda: callback(5, 1.5), number=calls, repeat=repeats))
        baseline = baseline or best
        print(f"  {name:28s} {best / calls * 1e9:7.0f} ns/call  "
              f"(+{(best - baseline) / calls * 1e9:.0f} ns)")


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    per_call(repeats)
    measure("native sphere, 4-D, 10 particles", "sphere", SETTINGS, repeats)
    measure("Python sphere, 10-D, 30 particles", sphere, PYTHON_SETTINGS, repeats)


if __name__ == "__main__":
    main()
