"""Particle swarm optimisation: native benchmarks, Python and NumPy-vectorised objectives.

>>> import corvalinth as pso
>>> r = pso.minimize("sphere", bounds=[(-5, 5)] * 2, seed=1)
>>> r.best_value < 1e-6
True
"""

from corvalinth_native import PsoResult, minimize

__all__ = ["PsoResult", "minimize"]
