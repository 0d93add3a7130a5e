"""Particle swarm optimisation: native benchmarks, Python and NumPy-vectorised objectives,
multi-objective fronts and grey numbers.

>>> import corvalinth as pso
>>> r = pso.minimize("sphere", bounds=[(-5, 5)] * 2, seed=1)
>>> r.best_value < 1e-6
True
"""

from corvalinth_native import (
    GreyResult,
    ParetoFront,
    PsoResult,
    benchmark_info,
    grey_benchmark_info,
    hypervolume,
    minimize,
    minimize_grey,
    minimize_multi,
)

__all__ = [
    "minimize",
    "minimize_multi",
    "minimize_grey",
    "hypervolume",
    "benchmark_info",
    "grey_benchmark_info",
    "PsoResult",
    "ParetoFront",
    "GreyResult",
]
