"""Hypervolume side by side with the exact peers, where installed. Prints figures, asserts nothing.

Fronts are n points sampled uniformly on the positive part of the unit sphere in m objectives
(seed 1), the reference is 1.1 in every objective, and every library gets the same float64
array. A figure is the best wall time of repeated calls (at least three, and at least 0.2 s);
the ratio columns are the peer's time over ours (above 1: we are faster). Also timed: a 2-D
front of 10^6 points, a 3-D front of 10^5 points, contributions, and ParetoFront.hypervolume of
a 100-member archive.

    pip install moocore pygmo   # optional peers
    python benchmarks/hypervolume_peers.py
"""

import time

import numpy as np

import corvalinth as pso

CASES = [(m, n) for m in (2, 3, 4) for n in (100, 1000, 10000)] + \
        [(m, n) for m in (5, 6) for n in (100, 1000)]


def sphere_front(m, n, seed=1):
    points = np.random.default_rng(seed).random((n, m)) + 1e-9
    return points / np.linalg.norm(points, axis=1, keepdims=True)


def best_time(call, budget=0.2, calls=3):
    best, spent, made = float("inf"), 0.0, 0
    while spent < budget or made < calls:
        made += 1
        start = time.perf_counter()
        call()
        elapsed = time.perf_counter() - start
        best, spent = min(best, elapsed), spent + elapsed
    return best


def peers():
    found = {}
    try:
        import moocore  # noqa: PLC0415 - optional

        found["moocore"] = lambda front, ref: moocore.hypervolume(front, ref=ref)
    except ImportError:
        pass
    try:
        import pygmo  # noqa: PLC0415 - optional

        found["pygmo"] = lambda front, ref: pygmo.hypervolume(front).compute(ref)
    except ImportError:
        pass
    return found


def show(seconds):
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.3g} ms"
    return f"{seconds * 1e6:.3g} us"


def main():
    others = peers()
    names = list(others)
    print("| m | n | corvalinth | " + " | ".join(f"{p} | ratio" for p in names) + " |")
    print("|---|---|---|" + "---|---|" * len(names))
    for m, n in CASES:
        front, ref = sphere_front(m, n), np.full(m, 1.1)
        ours = best_time(lambda: pso.hypervolume(front, ref))
        cells = [show(ours)]
        value = pso.hypervolume(front, ref)
        for name in names:
            theirs = best_time(lambda: others[name](front, ref))
            agreed = abs(others[name](front, ref) - value) <= 1e-9 * value
            cells += [show(theirs) + ("" if agreed else " (differs!)"), f"{theirs / ours:.2f}"]
        print(f"| {m} | {n} | " + " | ".join(cells) + " |")

    print()
    for m, n in ((2, 1_000_000), (3, 100_000)):
        front = sphere_front(m, n)
        seconds = best_time(lambda: pso.hypervolume(front, [1.1] * m), 1.0)
        print(f"hypervolume, m = {m}, n = {n}: {show(seconds)}")
    for m, n in ((2, 10_000), (3, 1000), (2, 1_000_000), (3, 100_000)):
        front = sphere_front(m, n)
        seconds = best_time(lambda: pso.hypervolume_contributions(front, [1.1] * m))
        print(f"hypervolume_contributions, m = {m}, n = {n}: {show(seconds)}")

    def two_objectives(x):
        return [x[0] ** 2 + x[1] ** 2, (x[0] - 1) ** 2 + x[1] ** 2]

    archive = pso.minimize_multi(two_objectives, [(-1, 2)] * 2, n_particles=100, max_iter=100,
                                 seed=1)
    seconds = best_time(archive.hypervolume)
    print(f"ParetoFront.hypervolume(), m = 2, {len(archive.objectives)} members: {show(seconds)}")


if __name__ == "__main__":
    main()
