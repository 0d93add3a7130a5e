"""Prints how fast Ctrl-C ends a run, and what looking for it costs the native loop. Asserts nothing.

1. For every entry point, the time from a real SIGINT (sent to this process from a timer thread)
   to the KeyboardInterrupt reaching the caller: median and worst of several runs. Also the
   hypervolume of a 6e6 x 2 and a 2e6 x 3 array (conversion, copies and sorts included), the
   contributions of the first, and parallel.multistart of native runs on its threads.
2. A native sphere run on the main thread, which looks for pending signals every few
   milliseconds, against the same run on a worker thread, which never looks (Python hands signals
   to the main thread only): time per particle-iteration and per particle-dimension-iteration.

    python benchmarks/interrupt_latency.py [repeats]
"""

import os
import random
import signal
import statistics
import sys
import threading
import time

import numpy as np

import corvalinth as pso
from corvalinth import parallel

ENDLESS = {"max_iter": 10**9, "record_history": False, "max_time": 60.0}


def sphere(x):
    return sum(v * v for v in x)


def large_front(n, m):
    """A front of n points on the positive part of the unit sphere (so none dominates another)."""
    points = np.random.default_rng(1).random((n, m)) + 1e-9
    return points / np.linalg.norm(points, axis=1, keepdims=True)


FRONT_2 = None  # made on first use: numpy and the fronts are only needed by these entries
FRONT_3 = None


def front(m):
    global FRONT_2, FRONT_3
    if FRONT_2 is None:
        FRONT_2, FRONT_3 = large_front(6_000_000, 2), large_front(2_000_000, 3)
    return FRONT_2 if m == 2 else FRONT_3


def slow_seed_run(seed):
    return pso.minimize("rastrigin", [(-5, 5)] * 30, seed=seed, **ENDLESS)


ENTRY_POINTS = {
    "minimize, native benchmark (lock released)": lambda: pso.minimize(
        "rastrigin", [(-5, 5)] * 30, **ENDLESS),
    "minimize, native benchmark with callback": lambda: pso.minimize(
        "rastrigin", [(-5, 5)] * 30, callback=lambda i, b: None, **ENDLESS),
    "minimize, Python objective": lambda: pso.minimize(sphere, [(-5, 5)] * 10, **ENDLESS),
    "minimize, vectorized": lambda: pso.minimize(
        lambda a: (a * a).sum(axis=1), [(-5, 5)] * 10, vectorized=True, **ENDLESS),
    "minimize_multi": lambda: pso.minimize_multi(
        lambda x: [x[0], 1 - x[0]], [(0, 1)] * 2, max_iter=10**9, record_history=False),
    "minimize_grey, Python objective": lambda: pso.minimize_grey(
        lambda x: sum(lo * lo for lo, hi in x), [(0, 1)] * 5, **ENDLESS),
    "minimize_grey, native benchmark": lambda: pso.minimize_grey(
        "grey_sphere", [(0, 1)] * 30, **ENDLESS),
    "hypervolume, 6e6 x 2 array": lambda: pso.hypervolume(front(2), [1.1, 1.1]),
    "hypervolume_contributions, 6e6 x 2 array": lambda: pso.hypervolume_contributions(
        front(2), [1.1, 1.1]),
    "hypervolume, 2e6 x 3 array": lambda: pso.hypervolume(front(3), [1.1] * 3),
    "parallel.multistart, 4 seeds on 2 threads": lambda: parallel.multistart(
        slow_seed_run, range(4)),
}


def latency(run):
    """Seconds from SIGINT to the KeyboardInterrupt out of `run`."""
    sent = []

    def send():
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(random.uniform(0.1, 0.3), send)
    front(2)  # made before the timer starts
    timer.start()
    try:
        run()
    except KeyboardInterrupt:
        caught = time.perf_counter()
    else:
        raise RuntimeError("the run ended before the signal")
    finally:
        timer.join()
    return caught - sent[0]


def print_latencies(repeats):
    print(f"SIGINT -> KeyboardInterrupt, {repeats} runs each (median / worst):")
    for name, run in ENTRY_POINTS.items():
        seconds = [latency(run) for _ in range(repeats)]
        print(f"  {name:45s} {statistics.median(seconds) * 1e3:7.2f} ms"
              f" / {max(seconds) * 1e3:7.2f} ms")


PARTICLES, DIM, ITERATIONS = 30, 30, 3000


def native_run_seconds(on_main_thread):
    def run():
        start = time.perf_counter()
        pso.minimize("sphere", [(-5.12, 5.12)] * DIM, n_particles=PARTICLES, max_iter=ITERATIONS,
                     seed=1, record_history=False)
        elapsed.append(time.perf_counter() - start)

    elapsed = []
    if on_main_thread:
        run()
    else:
        worker = threading.Thread(target=run)
        worker.start()
        worker.join()
    return elapsed[0]


def print_polling_cost(repeats):
    times = {True: [], False: []}
    for _ in range(repeats):  # alternating, so that a change in the machine's load hits both
        for on_main_thread in (True, False):
            times[on_main_thread].append(native_run_seconds(on_main_thread))
    steps = PARTICLES * ITERATIONS
    print(f"native sphere {PARTICLES}x{DIM}x{ITERATIONS}, best / median of {repeats}:")
    for on_main_thread, label in ((False, "worker thread (no polling)"),
                                  (True, "main thread (polling)")):
        best, median = min(times[on_main_thread]), statistics.median(times[on_main_thread])
        print(f"  {label:28s} {best / steps * 1e9:8.1f} / {median / steps * 1e9:8.1f} ns per "
              f"particle-iteration, {best / (steps * DIM) * 1e9:6.2f} / "
              f"{median / (steps * DIM) * 1e9:6.2f} ns per particle-dimension-iteration")
    print(f"  main / worker: best {min(times[True]) / min(times[False]):.3f}, "
          f"median {statistics.median(times[True]) / statistics.median(times[False]):.3f}")


if __name__ == "__main__":
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    print_latencies(repeats)
    print_polling_cost(max(repeats, 5))
