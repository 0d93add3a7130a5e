"""Prints the time per evaluation of `minimize_multi` on ZDT1 with a vectorised NumPy objective
against the per-particle form of the same formula. Asserts nothing.

ZDT1 with 30 variables in [0, 1]: f1 = x1, g = 1 + 9 * sum(x2..x30) / 29,
f2 = g * (1 - sqrt(f1 / g)). Both forms run 100 particles for 100 iterations on the same seeds
without history; the time per evaluation is the run time divided by n_particles x (max_iter + 1).

    python benchmarks/vectorised_multi.py [seed ...]
"""

import math
import statistics
import sys
import time

import numpy as np

import corvalinth as pso

VARIABLES, PARTICLES, ITERATIONS = 30, 100, 100
EVALUATIONS = PARTICLES * (ITERATIONS + 1)


def zdt1(x):
    g = 1.0 + 9.0 * math.fsum(x[1:]) / (len(x) - 1)
    return [x[0], g * (1.0 - math.sqrt(x[0] / g))]


def zdt1_rows(matrix):
    f1 = matrix[:, 0]
    g = 1.0 + 9.0 * matrix[:, 1:].sum(axis=1) / (matrix.shape[1] - 1)
    return np.column_stack([f1, g * (1.0 - np.sqrt(f1 / g))])


def seconds_per_evaluation(objective, seed, vectorized):
    start = time.perf_counter()
    pso.minimize_multi(objective, [(0.0, 1.0)] * VARIABLES, n_particles=PARTICLES,
                       max_iter=ITERATIONS, seed=seed, record_history=False,
                       vectorized=vectorized)
    return (time.perf_counter() - start) / EVALUATIONS


def main(seeds):
    print(f"ZDT1, {VARIABLES} variables, {PARTICLES} particles, {ITERATIONS} iterations, "
          f"seeds {seeds}; median time per evaluation")
    per_particle = statistics.median(seconds_per_evaluation(zdt1, s, False) for s in seeds)
    vectorised = statistics.median(seconds_per_evaluation(zdt1_rows, s, True) for s in seeds)
    print(f"  per-particle (Python list objective): {per_particle * 1e6:8.2f} us")
    print(f"  vectorized   (NumPy objective):       {vectorised * 1e6:8.2f} us")
    print(f"  ratio per-particle / vectorized:      {per_particle / vectorised:8.2f}")


if __name__ == "__main__":
    main([int(a) for a in sys.argv[1:]] or [1, 2, 3, 4, 5])
