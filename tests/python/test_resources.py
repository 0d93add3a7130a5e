"""Threads and resources: native runs release the lock; repeated calls leak nothing."""

import gc
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest

import corvalinth as pso


def test_native_runs_in_two_threads_overlap():
    spans = []

    def work():
        start = time.perf_counter()
        pso.minimize("rastrigin", [(-5.12, 5.12)] * 20, n_particles=50, max_iter=300, seed=1,
                     record_history=False)
        spans.append((start, time.perf_counter()))

    work()  # warm up
    spans.clear()
    threads = [threading.Thread(target=work) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    (a0, a1), (b0, b1) = sorted(spans)
    assert b0 < a1, "the second run started only after the first had ended"


def test_python_thread_runs_while_a_native_run_is_in_progress():
    ticks = []
    done = threading.Event()

    def ticker():
        while not done.is_set():
            ticks.append(1)
            time.sleep(0.001)

    t = threading.Thread(target=ticker)
    t.start()
    time.sleep(0.01)
    before = len(ticks)
    pso.minimize("rastrigin", [(-5.12, 5.12)] * 30, n_particles=60, max_iter=400, seed=1,
                 record_history=False)
    during = len(ticks) - before
    done.set()
    t.join()
    assert during > 5


class Tracked:
    """Objects whose reference counts must come back to where they were."""

    def objective(self, x):
        return sum(v * v for v in x)

    def failing(self, x):
        raise ValueError("no")

    def constraint(self, x):
        return x[0]

    def repair(self, x):
        return [v * 0.5 for v in x]

    def callback(self, i, b):
        return None

    def batch(self, x):
        return (x ** 2).sum(axis=1)


CALLS = [
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, constraints=[t.constraint],
                           equality_constraints=[t.constraint], repair=t.repair,
                           callback=t.callback, max_iter=5),
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, integer=True, repair=t.repair,
                           max_iter=5),
    lambda t: pso.minimize(t.batch, np.array([[-1.0, 1.0]] * 2), vectorized=True, max_iter=5),
    lambda t: pso.minimize(t.failing, [(-1, 1)] * 2, callback=t.callback, max_iter=5),
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, repair=t.failing, max_iter=5),
    lambda t: pso.minimize(t.batch, [(-1, 1)] * 2, vectorized=True, max_iter=5).history,
    lambda t: pso.minimize(lambda x: [1.0], [(-1, 1)] * 2, vectorized=True, max_iter=5),
    lambda t: pso.minimize("sphere", [(-1, 1)] * 2, callback=t.callback, n_particles="x"),
    lambda t: pso.minimize("sphere", [(1, 0)]),
    lambda t: repr(pso.minimize("sphere", [(-1, 1)] * 2, max_iter=5)),
]


def run_quietly(call, tracked):
    try:
        call(tracked)
    except BaseException:  # noqa: B036 - includes the internal-error class
        pass


@pytest.mark.parametrize("call", CALLS)
def test_repeated_calls_leak_nothing(call):
    tracked = Tracked()
    methods = [tracked.objective, tracked.failing, tracked.constraint, tracked.repair,
               tracked.callback, tracked.batch]
    for _ in range(20):
        run_quietly(call, tracked)
    gc.collect()
    counts = [sys.getrefcount(m.__func__) for m in methods] + [sys.getrefcount(tracked)]
    objects = len(gc.get_objects())
    tracemalloc.start()
    snapshot = tracemalloc.take_snapshot()
    for _ in range(200):
        run_quietly(call, tracked)
    gc.collect()
    grown = sum(s.size_diff for s in tracemalloc.take_snapshot().compare_to(snapshot, "filename"))
    tracemalloc.stop()
    assert [sys.getrefcount(m.__func__) for m in methods] + [sys.getrefcount(tracked)] == counts
    assert len(gc.get_objects()) - objects < 50
    assert grown < 64 * 1024
