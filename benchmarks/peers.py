"""Side by side with a peer PSO library, where one is installed. Prints figures, asserts nothing.

The same problem for both: 30-dimensional sphere and Rastrigin in [-5.12, 5.12], 30 particles,
1000 iterations, inertia 0.729 and coefficients 1.49445, global best. Figures are the best of
three runs' wall time and the best value reached (median over seeds 1 to 5). Our default
out-of-bounds policy is "clamp"; the peer's default wraps around the box, so both are shown.

    pip install pyswarms   # optional peer
    python benchmarks/peers.py
"""

import statistics
import time

import numpy as np

import corvalinth as pso

DIM, PARTICLES, ITERATIONS = 30, 30, 1000
BOUND = 5.12
OPTIONS = {"c1": 1.49445, "c2": 1.49445, "w": 0.729}


def sphere_rows(x):
    return np.sum(x * x, axis=1)


def rastrigin_rows(x):
    return 10.0 * x.shape[1] + np.sum(x * x - 10.0 * np.cos(2 * np.pi * x), axis=1)


def timed(run):
    best_time, value = float("inf"), None
    for _ in range(3):
        start = time.perf_counter()
        value = run()
        best_time = min(best_time, time.perf_counter() - start)
    return best_time, value


def ours(name, vectorised, bounds_handling="clamp"):
    def run_seed(seed):
        if vectorised is None:
            objective, extra = name, {}
        else:
            objective, extra = vectorised, {"vectorized": True}
        result = pso.minimize(objective, [(-BOUND, BOUND)] * DIM, n_particles=PARTICLES,
                              max_iter=ITERATIONS, seed=seed, record_history=False,
                              bounds_handling=bounds_handling, **extra)
        return result.best_value
    return run_seed


def peer(vectorised):
    import pyswarms as ps  # noqa: PLC0415 - optional

    def run_seed(seed):
        np.random.seed(seed)
        bounds = (np.full(DIM, -BOUND), np.full(DIM, BOUND))
        optimizer = ps.single.GlobalBestPSO(n_particles=PARTICLES, dimensions=DIM,
                                            options=OPTIONS, bounds=bounds)
        value, _ = optimizer.optimize(vectorised, iters=ITERATIONS, verbose=False)
        return value
    return run_seed


def report(label, run_seed):
    seconds, _ = timed(lambda: run_seed(1))
    values = [run_seed(seed) for seed in range(1, 6)]
    print(f"  {label:<38} {seconds * 1000:9.1f} ms   median best {statistics.median(values):.4g}")


def main():
    try:
        import pyswarms  # noqa: F401, PLC0415
        have_peer = True
    except ImportError:
        have_peer = False
    for name, rows in (("sphere", sphere_rows), ("rastrigin", rastrigin_rows)):
        print(f"{name}, {DIM} dimensions, {PARTICLES} particles, {ITERATIONS} iterations")
        report("corvalinth, native benchmark", ours(name, None))
        report("corvalinth, NumPy objective", ours(name, rows))
        # The peer wraps particles around the box by default; so does "wrap".
        report("corvalinth, native, wrap", ours(name, None, "wrap"))
        report("corvalinth, NumPy objective, wrap", ours(name, rows, "wrap"))
        if have_peer:
            report("peer (pyswarms GlobalBestPSO), NumPy", peer(rows))
        else:
            print("  peer: pyswarms is not installed")
        print()


if __name__ == "__main__":
    main()
