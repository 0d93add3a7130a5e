"""A short demonstration: ``python -m corvalinth``.

Runs a native benchmark and a Python objective and prints what a user looks at first: the best
value and point, how many evaluations it took and why the run stopped.
"""

import math
import time

import corvalinth as pso


def show(title, result, seconds):
    print(title)
    print(f"  best value:   {result.best_value:.6g}")
    print("  best point:   [" + ", ".join(f"{x:.4f}" for x in result.best_position) + "]")
    print(f"  evaluations:  {result.evaluations} in {seconds * 1000:.1f} ms")
    print(f"  iterations:   {len(result.convergence)}, stopped by {result.stop_reason}")
    print(f"  repr:         {result!r}")
    print()


def himmelblau_with_circle(x):
    """Himmelblau's function; a constraint keeps the search inside a circle."""
    a, b = x
    return (a * a + b - 11) ** 2 + (a + b * b - 7) ** 2


def main():
    start = time.perf_counter()
    native = pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 10, n_particles=40,
                          max_iter=500, seed=42)
    show("Native benchmark: 10-dimensional Rastrigin (runs without the GIL)", native,
         time.perf_counter() - start)

    start = time.perf_counter()
    python = pso.minimize(himmelblau_with_circle, bounds=[(-5, 5)] * 2, seed=7, max_iter=1000,
                          constraints=[lambda x: math.hypot(x[0], x[1]) - 3.2],
                          patience=20, tol=1e-9)
    show("Python objective: Himmelblau inside the circle of radius 3.2, early stopping", python,
         time.perf_counter() - start)

    start = time.perf_counter()
    knapsack = pso.minimize(
        lambda bits: -sum(v * b for v, b in zip([6, 5, 8, 9, 6, 7, 3], bits)),
        bounds=[(0, 1)] * 7, binary=True, seed=3, velocity="constriction", topology="ring",
        constraints=[lambda bits: sum(w * b for w, b in zip([2, 3, 6, 7, 5, 9, 4], bits)) - 15])
    show("Binary knapsack (values 6 5 8 9 6 7 3, weights 2 3 6 7 5 9 4, capacity 15)", knapsack,
         time.perf_counter() - start)


if __name__ == "__main__":
    main()
