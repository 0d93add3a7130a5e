"""Seeded runs in eight threads, with the interpreter switching threads as often as it can, give
the same results to the last bit as the same runs one after another."""

import sys
import threading

import numpy as np

import corvalinth as pso

THREADS = 8
ROUNDS = 10
BOUNDS = [(-3.0, 2.0)] * 3


def objective(x):
    return sum((v - 0.5) ** 2 for v in x)


RUNS = [
    lambda: pso.minimize("rastrigin", BOUNDS, n_particles=12, max_iter=30, seed=1),
    lambda: pso.minimize("ackley", BOUNDS, n_particles=12, max_iter=30, seed=2, velocity="fips",
                         topology="random", bounds_handling="reinit"),
    lambda: pso.minimize(objective, BOUNDS, n_particles=8, max_iter=15, seed=3,
                         constraints=[lambda x: x[0]], callback=lambda i, b: i < 12),
    lambda: pso.minimize(lambda x: ((x - 0.5) ** 2).sum(axis=1), np.array(BOUNDS),
                         vectorized=True, n_particles=8, max_iter=15, seed=4),
    lambda: pso.minimize(objective, BOUNDS, var_types=["integer", "real", "binary"],
                         n_particles=8, max_iter=15, seed=5),
    lambda: pso.minimize_multi(lambda x: [x[0] ** 2, (x[0] - 2) ** 2 + x[1]], BOUNDS,
                               n_particles=10, max_iter=10, archive_size=8, seed=6),
    lambda: pso.minimize_grey("grey_sphere", BOUNDS, n_particles=10, max_iter=20, seed=7),
    lambda: pso.minimize_grey(lambda g: sum(lo * lo + hi for lo, hi in g), BOUNDS,
                              n_particles=8, max_iter=15, seed=8, max_spread=0.3),
]


def fingerprint(result):
    """Everything a result reports; repr keeps every bit of a float (and tells NaNs apart from
    numbers)."""
    # to_pandas needs pandas, and trials() holds what it shows.
    names = [name for name in dir(result) if not name.startswith("_") and name != "to_pandas"]
    values = [getattr(result, name) for name in names]
    return repr([v() if callable(v) else v for v in values])


def test_seeded_runs_in_eight_threads_equal_serial_runs():
    expected = [fingerprint(run()) for run in RUNS]
    seen = []
    errors = []
    start = threading.Barrier(THREADS)

    def work(worker):
        try:
            start.wait()
            for round_ in range(ROUNDS):
                # Each worker runs the list from a different place, so different runs overlap.
                for k in range(len(RUNS)):
                    index = (worker + round_ + k) % len(RUNS)
                    seen.append((index, fingerprint(RUNS[index]())))
        except BaseException as error:  # noqa: B036 - reported by the main thread
            errors.append(error)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=work, args=(w,)) for w in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert not errors, errors
    assert len(seen) == THREADS * ROUNDS * len(RUNS)
    mismatches = sorted({index for index, value in seen if value != expected[index]})
    assert not mismatches, f"threaded runs differ from serial ones: runs {mismatches}"
