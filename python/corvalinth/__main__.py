"""A short demonstration: ``python -m corvalinth``.

Runs a native benchmark, Python objectives, a multi-objective problem and a grey problem, and
prints what a user looks at first: the best value and point (or the front and its hypervolume),
how many evaluations it took and why the run stopped. ``--section NAME`` runs one part only;
``--help`` lists them.
"""

import argparse
import math
import time
from collections.abc import Callable, Sequence

import corvalinth as pso


def show(title: str, result: pso.PsoResult, seconds: float) -> None:
    print(title)
    print(f"  best value:   {result.best_value:.6g}")
    print("  best point:   [" + ", ".join(f"{x:.4f}" for x in result.best_position) + "]")
    print(f"  evaluations:  {result.evaluations} in {seconds * 1000:.1f} ms")
    print(f"  iterations:   {len(result.convergence)}, stopped by {result.stop_reason}")
    print(f"  repr:         {result!r}")
    print()


def himmelblau_with_circle(x: Sequence[float]) -> float:
    """Himmelblau's function; a constraint keeps the search inside a circle."""
    a, b = x
    return (a * a + b - 11) ** 2 + (a + b * b - 7) ** 2


def zdt1(x: Sequence[float]) -> list[float]:
    """ZDT1: two objectives whose Pareto front is f2 = 1 - sqrt(f1), f1 in [0, 1]."""
    f1 = x[0]
    g = 1 + 9 * sum(x[1:]) / (len(x) - 1)
    return [f1, g * (1 - math.sqrt(f1 / g))]


def grey_cost(greys: Sequence[tuple[float, float]]) -> float:
    """Distance of each interval's midpoint from 1.5, plus a price on its width."""
    return sum(((lo + hi) / 2 - 1.5) ** 2 + 0.1 * (hi - lo) for lo, hi in greys)


def native_section() -> None:
    start = time.perf_counter()
    native = pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 10, n_particles=40,
                          max_iter=500, seed=42)
    show("Native benchmark: 10-dimensional Rastrigin (runs without the GIL)", native,
         time.perf_counter() - start)


def python_section() -> None:
    start = time.perf_counter()
    python = pso.minimize(himmelblau_with_circle, bounds=[(-5, 5)] * 2, seed=7, max_iter=1000,
                          constraints=[lambda x: math.hypot(x[0], x[1]) - 3.2],
                          patience=20, tol=1e-9)
    show("Python objective: Himmelblau inside the circle of radius 3.2, early stopping", python,
         time.perf_counter() - start)


def knapsack_section() -> None:
    start = time.perf_counter()
    knapsack = pso.minimize(
        lambda bits: -sum(v * b for v, b in zip([6, 5, 8, 9, 6, 7, 3], bits, strict=True)),
        bounds=[(0, 1)] * 7, binary=True, seed=3, velocity="constriction", topology="ring",
        constraints=[lambda bits: sum(w * b for w, b in zip([2, 3, 6, 7, 5, 9, 4], bits,
                                                            strict=True)) - 15])
    show("Binary knapsack (values 6 5 8 9 6 7 3, weights 2 3 6 7 5 9 4, capacity 15)", knapsack,
         time.perf_counter() - start)


def multi_section() -> None:
    start = time.perf_counter()
    front = pso.minimize_multi(zdt1, bounds=[(0, 1)] * 30, n_particles=100, max_iter=100, seed=1)
    seconds = time.perf_counter() - start
    # The true ZDT1 front f2 = 1 - sqrt(f1) covers 2/3 of the unit square's volume under (1, 1),
    # so under the reference (1.1, 1.1) its hypervolume is 1.21 - 1/3.
    true_volume = 1.21 - 1 / 3
    volume = front.hypervolume([1.1, 1.1])
    print("Multi-objective: ZDT1 with 30 variables (100 particles, 100 iterations)")
    print(f"  {front!r} in {seconds * 1000:.1f} ms")
    print(f"  hypervolume under (1.1, 1.1): {volume:.4f} "
          f"({100 * volume / true_volume:.1f}% of the true front's {true_volume:.4f})")
    ends = sorted(front.objectives)
    print(f"  front runs from f1={ends[0][0]:.3f}, f2={ends[0][1]:.3f} "
          f"to f1={ends[-1][0]:.3f}, f2={ends[-1][1]:.3f}")
    print()


def grey_section() -> None:
    start = time.perf_counter()
    grey = pso.minimize_grey(grey_cost, bounds=[(-5, 5)] * 3, max_spread=1.0, seed=42)
    seconds = time.perf_counter() - start
    print("Grey numbers: intervals inside [-5, 5] near 1.5 that pay for their width")
    print(f"  best value:   {grey.best_value:.6g}")
    print("  intervals:    " + ", ".join(f"[{lo:.3f}, {hi:.3f}]" for lo, hi in grey.best_position))
    print(f"  evaluations:  {grey.evaluations} in {seconds * 1000:.1f} ms, "
          f"stopped by {grey.stop_reason}")
    print(f"  repr:         {grey!r}")


# The demonstration's parts, in the order a full run shows them.
SECTIONS: dict[str, tuple[Callable[[], None], str]] = {
    "native": (native_section, "a native benchmark (10-D Rastrigin)"),
    "python": (python_section, "a constrained Python objective with early stopping"),
    "knapsack": (knapsack_section, "a binary knapsack"),
    "multi": (multi_section, "a multi-objective front (ZDT1) and its hypervolume"),
    "grey": (grey_section, "grey numbers (interval-valued variables)"),
}


def parse_arguments(argv: Sequence[str] | None = None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="python -m corvalinth",
        description="A short demonstration of corvalinth: each part runs a seeded optimisation "
                    "and prints its result.",
        epilog="parts: " + "; ".join(f"{name}: {text}" for name, (_, text) in SECTIONS.items()))
    parser.add_argument("--section", choices=list(SECTIONS), action="append",
                        help="run only this part (repeat the flag for several); "
                             "by default every part runs")
    parser.add_argument("--version", action="version", version=f"corvalinth {pso.__version__}")
    return parser.parse_args(argv)


def main(argv: Sequence[str] | None = None) -> None:
    chosen = parse_arguments(argv).section or list(SECTIONS)
    for name in chosen:
        SECTIONS[name][0]()


if __name__ == "__main__":
    main()
