"""Swarm size against a fixed evaluation budget.

For several swarm sizes, runs each benchmark with the same number of evaluations (iterations =
budget / swarm size - 1) and prints the median final best value over several seeds. Seeded runs
are reproducible bit for bit, so the table is the same on every machine.

    python benchmarks/swarm_size.py [--dim 30] [--evaluations 30000] [--seeds 7]
"""

import argparse
import statistics

import corvalinth as pso

FUNCTIONS = ["sphere", "rastrigin", "ackley", "rosenbrock"]
SIZES = [10, 20, 30, 50, 100]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=30)
    parser.add_argument("--evaluations", type=int, default=30_000)
    parser.add_argument("--seeds", type=int, default=7)
    parser.add_argument("--bounds-handling", default="wrap")
    args = parser.parse_args()
    print(f"{args.dim}-D, {args.evaluations} evaluations, bounds_handling="
          f"{args.bounds_handling!r}, median of {args.seeds} seeds: final best value")
    print("benchmark   " + "".join(f"{f'n={n}':>11s}" for n in SIZES))
    for function in FUNCTIONS:
        bound, _ = pso.benchmark_info(function)
        cells = []
        for n in SIZES:
            finals = [pso.minimize(function, bounds=(-bound, bound), dim=args.dim, n_particles=n,
                                   max_iter=args.evaluations // n - 1, seed=seed,
                                   bounds_handling=args.bounds_handling,
                                   record_history=False).best_value
                      for seed in range(args.seeds)]
            cells.append(f"{statistics.median(finals):11.3g}")
        print(f"{function:12s}" + "".join(cells))


if __name__ == "__main__":
    main()
