"""Prints how close `minimize_multi` gets to the true ZDT1 front, and how long it takes.
Asserts nothing.

ZDT1 (Zitzler, Deb and Thiele, 2000) with 30 variables in [0, 1]: f1 = x1,
g = 1 + 9 * sum(x2..x30) / 29, f2 = g * (1 - sqrt(f1 / g)). Its Pareto front is f2 = 1 - sqrt(f1)
for f1 in [0, 1], whose hypervolume under the reference (1.1, 1.1) is 1.21 - 1/3. For each
archive strategy the script runs 100 particles for 100 iterations on a few seeds and prints the
front's hypervolume under the same reference, its ratio to the true one and the run time.

    python benchmarks/zdt1_front.py [seed ...]
"""

import math
import statistics
import sys
import time

import corvalinth as pso

VARIABLES, PARTICLES, ITERATIONS = 30, 100, 100
REFERENCE = [1.1, 1.1]
TRUE_HYPERVOLUME = 1.21 - 1.0 / 3.0


def zdt1(x):
    g = 1.0 + 9.0 * math.fsum(x[1:]) / (len(x) - 1)
    return [x[0], g * (1.0 - math.sqrt(x[0] / g))]


def run(seed, grid_divisions):
    start = time.perf_counter()
    front = pso.minimize_multi(zdt1, [(0.0, 1.0)] * VARIABLES, n_particles=PARTICLES,
                               max_iter=ITERATIONS, seed=seed, grid_divisions=grid_divisions,
                               record_history=False)
    seconds = time.perf_counter() - start
    return front.hypervolume(REFERENCE), len(front.positions), seconds


def main(seeds):
    print(f"ZDT1, {VARIABLES} variables, {PARTICLES} particles, {ITERATIONS} iterations; "
          f"true hypervolume under {tuple(REFERENCE)}: {TRUE_HYPERVOLUME:.6f}")
    print(f"{'strategy':<18}{'seed':>6}{'members':>9}{'hypervolume':>13}{'ratio':>9}{'time':>10}")
    for label, grid_divisions in (("crowding", None), ("grid_divisions=10", 10)):
        ratios, times = [], []
        for seed in seeds:
            hypervolume, members, seconds = run(seed, grid_divisions)
            ratio = hypervolume / TRUE_HYPERVOLUME
            ratios.append(ratio)
            times.append(seconds)
            print(f"{label:<18}{seed:>6}{members:>9}{hypervolume:>13.6f}{ratio:>9.4f}"
                  f"{seconds * 1e3:>8.1f} ms")
        print(f"{label:<18}{'mean':>6}{'':>9}{'':>13}{statistics.mean(ratios):>9.4f}"
              f"{statistics.mean(times) * 1e3:>8.1f} ms")


if __name__ == "__main__":
    main([int(s) for s in sys.argv[1:]] or [1, 2, 3, 42, 2024])
