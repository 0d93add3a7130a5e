"""Objectives and run functions that worker processes import by name."""

import math

import corvalinth as pso

BOUNDS = [(-5.12, 5.12)] * 3


def rastrigin(x):
    return 10.0 * len(x) + sum(v * v - 10.0 * math.cos(2.0 * math.pi * v) for v in x)


def refuse(x):
    raise ValueError(f"cannot evaluate {len(x)} coordinates")


def python_run(seed):
    return pso.minimize(rastrigin, BOUNDS, n_particles=6, max_iter=8, seed=seed)


def front_run(seed):
    return pso.minimize_multi(lambda x: [x[0] ** 2, (x[0] - 2.0) ** 2], [(-3, 3)] * 2,
                              n_particles=6, max_iter=5, seed=seed)


def grey_run(seed):
    return pso.minimize_grey(lambda g: sum(c * c + s for c, s in g), [(-1, 1)] * 2,
                             n_particles=5, max_iter=5, seed=seed)


def panicking_run(seed):
    return pso.minimize("sphere", [(1.0, 0.0)], seed=seed)  # an inverted bound


def two_bowls(x):
    return [sum(v * v for v in x), sum((v - 1.0) ** 2 for v in x)]
