"""Particle swarm optimisation: native benchmarks, Python and NumPy-vectorised objectives,
multi-objective fronts and grey numbers.

>>> import corvalinth as pso
>>> r = pso.minimize("sphere", bounds=[(-5, 5)] * 2, seed=1)
>>> r.best_value < 1e-6
True
"""

from corvalinth_native import (
    GreyResult,
    MultiOptimizer,
    Optimizer,
    ParetoFront,
    PsoResult,
    benchmark_info,
    grey_benchmark_info,
    hypervolume,
    hypervolume_contributions,
    minimize,
    minimize_grey,
    minimize_multi,
)
from corvalinth_native import (
    PanicException as PanicException,  # raised, not called: exported outside __all__
)
from corvalinth_native import (
    _Driven as _Driven,  # the base class of Optimizer and MultiOptimizer, for the stub
)

# Submodules: runs spread over threads, processes and clusters (standard library only); a progress
# display for long runs, built on the per-iteration callback; plotting helpers (matplotlib is
# imported only when a helper is called).
from corvalinth import parallel, progress, viz
from corvalinth._version import __version__ as __version__

__all__ = [
    "minimize",
    "Optimizer",
    "minimize_multi",
    "MultiOptimizer",
    "minimize_grey",
    "hypervolume",
    "benchmark_info",
    "grey_benchmark_info",
    "PsoResult",
    "ParetoFront",
    "GreyResult",
    "viz",
    "progress",
    "hypervolume_contributions",
    "parallel",
]

