"""How the out-of-bounds policy changes the result on standard benchmarks.

For each native benchmark and setting, prints the median final best value over several seeds
and, for the same runs, the median number of coordinates of the best position that sit exactly
on the box edge (the mark of "clamp": a particle pushed out is set onto the bound and may stay
there). The last column is the fully informed rule on the von Neumann grid under "clamp".
Seeded runs are reproducible bit for bit, so the table is the same on every machine.

    python benchmarks/bounds_policies.py [--dim 30] [--particles 30] [--iterations 1000]
                                         [--seeds 7] [--rst]
"""

import argparse
import statistics

from _tables import print_table

import corvalinth as pso

FUNCTIONS = ["sphere", "rastrigin", "ackley", "griewank", "schwefel", "rosenbrock", "levy"]
SETTINGS = [
    ("clamp", dict(bounds_handling="clamp")),
    ("reflect", dict(bounds_handling="reflect")),
    ("wrap", dict(bounds_handling="wrap")),
    ("reinit", dict(bounds_handling="reinit")),
    ("fips+vonneumann", dict(velocity="fips", topology="vonneumann")),
]


def measure(function, settings, args):
    bound, _ = pso.benchmark_info(function)
    values, on_edge = [], []
    for seed in range(args.seeds):
        r = pso.minimize(function, bounds=(-bound, bound), dim=args.dim,
                         n_particles=args.particles, max_iter=args.iterations, seed=seed,
                         record_history=False, **settings)
        values.append(r.best_value)
        on_edge.append(sum(abs(x) == bound for x in r.best_position))
    return statistics.median(values), statistics.median(on_edge)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=30)
    parser.add_argument("--particles", type=int, default=30)
    parser.add_argument("--iterations", type=int, default=1000)
    parser.add_argument("--seeds", type=int, default=7)
    parser.add_argument("--rst", action="store_true", help="print a reStructuredText table")
    args = parser.parse_args()
    names = [name for name, _ in SETTINGS]
    rows = []
    for function in FUNCTIONS:
        cells = []
        for _, settings in SETTINGS:
            value, edge = measure(function, settings, args)
            cells.append(f"{value:.3g} ({edge:g})")
        rows.append([function] + cells)
    header = ["benchmark"] + names
    print(f"{args.dim}-D, {args.particles} particles, {args.iterations} iterations, median of "
          f"{args.seeds} seeds (0 to {args.seeds - 1}): best value (coordinates on the edge)")
    if args.rst:
        print()
    print_table(header, rows, rst=args.rst, strip=True)


if __name__ == "__main__":
    main()
