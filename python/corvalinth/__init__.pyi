"""Type stub of the corvalinth package (the functions and classes of corvalinth_native)."""

from collections.abc import Callable, Mapping, Sequence
from typing import Any, TypeAlias, final

import numpy as np
from numpy.typing import ArrayLike, NDArray

from corvalinth import parallel as parallel
from corvalinth import progress as progress
from corvalinth import viz as viz

__version__: str

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

class PanicException(BaseException):
    """An internal error of the optimiser: a violated precondition of the core."""

# A list of (min, max) pairs (or an array of shape (dim, 2)), or one (min, max) pair with dim.
_Bounds: TypeAlias = Sequence[Sequence[float]] | Sequence[float] | NDArray[Any]
# Named parameters: name -> (low, high), ("log", low, high), ("int", low, high) or a list of
# choices; user code then receives dicts.
_Named: TypeAlias = Mapping[str, tuple[float, float] | tuple[str, float, float] | list[Any]]
# A warm start with named parameters: one dict of them, or a sequence of such dicts.
_Params: TypeAlias = Mapping[str, Any] | Sequence[Mapping[str, Any]]
# Continuous and mixed spaces pass a list of float; integer and binary spaces a list of int.
_Scalar: TypeAlias = (Callable[[list[float]], float] | Callable[[list[int]], float]
                      | Callable[[dict[str, Any]], float])
# vectorized=True: the whole swarm as an array of shape (n_particles, dim), one value per row.
_Batch: TypeAlias = (Callable[[NDArray[np.float64]], ArrayLike]
                     | Callable[[list[dict[str, Any]]], ArrayLike])
_Objective: TypeAlias = _Scalar | _Batch | str
_Repair: TypeAlias = (Callable[[list[float]], Sequence[float]]
                      | Callable[[list[int]], Sequence[float]]
                      | Callable[[NDArray[np.float64]], ArrayLike])
_MultiObjective: TypeAlias = (Callable[[list[float]], Sequence[float]]
                              | Callable[[list[int]], Sequence[float]]
                              | Callable[[dict[str, Any]], Sequence[float]])
# vectorized=True: the whole swarm as an array of shape (n_particles, dim), one row of objectives
# per particle back.
_MultiBatch: TypeAlias = (Callable[[NDArray[np.float64]], ArrayLike]
                          | Callable[[list[dict[str, Any]]], ArrayLike])
# vectorized=True: every particle's pairs as an array of shape (n_particles, n_variables, 2).
_GreyBatch: TypeAlias = Callable[[NDArray[np.float64]], ArrayLike]
_GreyObjective: TypeAlias = Callable[[list[tuple[float, float]]], float] | str
_Vector: TypeAlias = Sequence[float] | NDArray[Any]
_Vectors: TypeAlias = Sequence[Sequence[float]] | NDArray[Any]

@final
class PsoResult:
    """Result of an optimization."""

    @property
    def best_position(self) -> list[float]: ...
    @property
    def convergence(self) -> list[float]: ...
    @property
    def history(self) -> list[list[list[float]]]: ...
    @property
    def evaluations(self) -> int: ...
    @property
    def stop_reason(self) -> str: ...
    @property
    def best_value(self) -> float: ...
    @property
    def iterations(self) -> int: ...
    @property
    def violation(self) -> float: ...
    @property
    def feasible(self) -> bool: ...
    @property
    def x(self) -> list[float]: ...
    @property
    def fun(self) -> float: ...
    @property
    def nit(self) -> int: ...
    @property
    def nfev(self) -> int: ...
    @property
    def success(self) -> bool: ...
    @property
    def message(self) -> str: ...
    @property
    def recorded_evaluations(self) -> list[list[float]]: ...
    @property
    def parameters(self) -> dict[str, Any] | None: ...
    @property
    def best_params(self) -> dict[str, Any] | None: ...
    def evaluations_array(self, /) -> NDArray[np.float64]: ...
    def trials(self, /) -> list[dict[str, Any]]: ...
    def to_pandas(self, /) -> Any: ...
    def to_dict(self, /) -> dict[str, Any]: ...
    def history_array(self, /) -> NDArray[np.float64]: ...
    def convergence_array(self, /) -> NDArray[np.float64]: ...

@final
class ParetoFront:
    """An approximated Pareto front returned by `minimize_multi`."""

    @property
    def positions(self) -> list[list[float]]: ...
    @property
    def swarm_history(self) -> list[list[list[float]]]: ...
    @property
    def front_history(self) -> list[list[list[float]]]: ...
    @property
    def objectives(self) -> list[list[float]]: ...
    @property
    def stop_reason(self) -> str: ...
    def hypervolume(self, /, reference: _Vector | None = None) -> float: ...
    @property
    def iterations(self) -> int: ...
    @property
    def evaluations(self) -> int: ...
    @property
    def violations(self) -> list[float]: ...
    @property
    def feasible(self) -> bool: ...
    def to_dict(self, /) -> dict[str, Any]: ...
    def positions_array(self, /) -> NDArray[np.float64]: ...
    def objectives_array(self, /) -> NDArray[np.float64]: ...
    def swarm_history_array(self, /) -> NDArray[np.float64]: ...
    @property
    def recorded_evaluations(self) -> list[list[float]]: ...
    @property
    def parameters(self) -> dict[str, Any] | None: ...
    @property
    def params(self) -> list[dict[str, Any]] | None: ...
    def evaluations_array(self, /) -> NDArray[np.float64]: ...
    def trials(self, /) -> list[dict[str, Any]]: ...
    def to_pandas(self, /) -> Any: ...

@final
class GreyResult:
    """Result of a grey optimization returned by `minimize_grey`."""

    @property
    def best_position(self) -> list[tuple[float, float]]: ...
    @property
    def best_centers(self) -> list[float]: ...
    @property
    def best_spreads(self) -> list[float]: ...
    @property
    def best_value(self) -> float: ...
    @property
    def convergence(self) -> list[float]: ...
    @property
    def evaluations(self) -> int: ...
    @property
    def stop_reason(self) -> str: ...
    @property
    def iterations(self) -> int: ...
    def to_dict(self, /) -> dict[str, Any]: ...
    def convergence_array(self, /) -> NDArray[np.float64]: ...

class _Driven:
    """What Optimizer and MultiOptimizer share: a run driven by its caller."""

    def ask(self, /) -> Any: ...
    @property
    def done(self) -> bool: ...
    @property
    def stop_reason(self) -> str | None: ...
    @property
    def iteration(self) -> int: ...
    @property
    def evaluations(self) -> int: ...
    @property
    def events(self) -> list[tuple[int, float | list[float] | None]] | None: ...
    @property
    def out(self) -> list[tuple[int, list[float] | list[int] | dict[str, Any]]] | None: ...

@final
class MultiOptimizer(_Driven):
    """A multi-objective swarm run driven by the caller through ask and tell."""

    def __init__(
        self,
        bounds: _Bounds | _Named,
        *,
        n_particles: int = 100,
        max_iter: int = 100,
        archive_size: int = 100,
        w: float = 0.729,
        c1: float = 1.49445,
        c2: float = 1.49445,
        velocity: str = "inertia",
        seed: int | None = None,
        integer: bool = False,
        binary: bool = False,
        var_types: Sequence[str] | None = None,
        mutation_rate: float = 0.1,
        dim: int | None = None,
        grid_divisions: int | None = None,
        v_max: float | None = None,
        bounds_handling: str = "clamp",
        record_history: bool = True,
        max_evals: int | None = None,
        x0: _Vector | _Vectors | _Params | None = None,
        turbulence: str = "decaying",
        archive_truncation: str = "crowding",
        preset: str | None = None,
        batch: bool = False,
        crossover_share: float = 0.0,
        swarm_selection: str = "none",
        asynchronous: bool = False,
        record_evaluations: bool = False,
        crossover: str = "sbx",
    ) -> None: ...
    def ask(
        self, /
    ) -> (list[float] | list[int] | NDArray[Any] | tuple[int, list[float] | list[int]]
          | dict[str, Any] | list[dict[str, Any]] | tuple[int, dict[str, Any]] | None): ...
    def tell(self, /, *args: int | _Vector | _Vectors) -> None: ...
    def result(self, /) -> ParetoFront: ...

class Optimizer(_Driven):
    """A single-objective swarm run driven by the caller through ask and tell."""

    def __init__(
        self,
        bounds: _Bounds | _Named,
        *,
        integer: bool = False,
        binary: bool = False,
        var_types: Sequence[str] | None = None,
        dim: int | None = None,
        n_particles: int = 30,
        max_iter: int = 100,
        w: float = 0.729,
        c1: float = 1.49445,
        c2: float = 1.49445,
        velocity: str = "inertia",
        topology: str = "global",
        seed: int | None = None,
        record_history: bool = True,
        v_max: float | None = None,
        patience: int = 0,
        tol: float = 0.0,
        max_evals: int | None = None,
        target: float | None = None,
        bounds_handling: str = "clamp",
        batch: bool = False,
        x0: _Vector | _Vectors | _Params | None = None,
        restart_patience: int = 0,
        restart_tol: float = 0.0,
        restart_spread: float = 1.0,
        preset: str | None = None,
        asynchronous: bool = False,
        penalty: float = 1e6,
        equality_tol: float = 1e-4,
        record_evaluations: bool = False,
        progress: bool = False,
        constraint_handling: str = "penalty",
        local_search: str | None = None,
        local_search_share: float = 0.2,
    ) -> None: ...
    def ask(
        self, /
    ) -> (list[float] | list[int] | NDArray[Any] | tuple[int, list[float] | list[int]]
          | dict[str, Any] | list[dict[str, Any]] | tuple[int, dict[str, Any]] | None): ...
    def tell(
        self,
        /,
        *args: float | _Vector,
        constraints: _Vector | _Vectors | None = None,
        equality_constraints: _Vector | _Vectors | None = None,
    ) -> None: ...
    def result(self, /) -> PsoResult: ...
    @property
    def best_value(self) -> float | None: ...
    @property
    def best_position(self) -> list[float] | list[int] | None: ...
    @property
    def best_params(self) -> dict[str, Any] | None: ...

def minimize(
    objective: _Objective,
    bounds: _Bounds | _Named,
    integer: bool = False,
    n_particles: int = 30,
    max_iter: int = 100,
    w: float = 0.729,
    c1: float = 1.49445,
    c2: float = 1.49445,
    velocity: str = "inertia",
    topology: str = "global",
    seed: int | None = None,
    record_history: bool = True,
    v_max: float | None = None,
    patience: int = 0,
    tol: float = 0.0,
    constraints: Sequence[_Scalar | _Batch] | None = None,
    penalty: float = 1e6,
    binary: bool = False,
    max_evals: int | None = None,
    target: float | None = None,
    max_time: float | None = None,
    callback: Callable[[int, float], object] | Callable[[Any], object] | None = None,
    bounds_handling: str = "clamp",
    vectorized: bool = False,
    var_types: Sequence[str] | None = None,
    dim: int | None = None,
    equality_constraints: Sequence[_Scalar | _Batch] | None = None,
    repair: _Repair | None = None,
    *,
    x0: _Vector | _Vectors | _Params | None = None,
    restart_patience: int = 0,
    restart_tol: float = 0.0,
    restart_spread: float = 1.0,
    preset: str | None = None,
    equality_tol: float = 1e-4,
    args: tuple[Any, ...] = (),
    record_evaluations: bool = False,
    constraint_handling: str = "penalty",
    local_search: str | None = None,
    local_search_share: float = 0.2,
) -> PsoResult:
    """Minimizes an objective function with Particle Swarm Optimization."""

def minimize_multi(
    objective: _MultiObjective | _MultiBatch,
    bounds: _Bounds | _Named,
    n_particles: int = 100,
    max_iter: int = 100,
    archive_size: int = 100,
    w: float = 0.729,
    c1: float = 1.49445,
    c2: float = 1.49445,
    velocity: str = "inertia",
    seed: int | None = None,
    integer: bool = False,
    binary: bool = False,
    var_types: Sequence[str] | None = None,
    mutation_rate: float = 0.1,
    dim: int | None = None,
    grid_divisions: int | None = None,
    v_max: float | None = None,
    bounds_handling: str = "clamp",
    record_history: bool = True,
    *,
    vectorized: bool = False,
    callback: Callable[[int, int], object] | None = None,
    max_evals: int | None = None,
    max_time: float | None = None,
    x0: _Vector | _Vectors | _Params | None = None,
    turbulence: str = "decaying",
    archive_truncation: str = "crowding",
    preset: str | None = None,
    args: tuple[Any, ...] = (),
    record_evaluations: bool = False,
    constraints: Sequence[_Scalar | _Batch] | None = None,
    equality_constraints: Sequence[_Scalar | _Batch] | None = None,
    equality_tol: float = 1e-4,
    crossover_share: float = 0.0,
    swarm_selection: str = "none",
    crossover: str = "sbx",
) -> ParetoFront:
    """Multi-objective optimization (MOPSO). Returns the Pareto front."""

def minimize_grey(
    objective: _GreyObjective | _GreyBatch,
    bounds: _Bounds,
    max_spread: float | Sequence[float] | NDArray[Any] | None = None,
    representation: str = "interval",
    n_particles: int = 30,
    max_iter: int = 100,
    w: float = 0.729,
    c1: float = 1.49445,
    c2: float = 1.49445,
    velocity: str = "inertia",
    topology: str = "global",
    seed: int | None = None,
    record_history: bool = True,
    v_max: float | None = None,
    patience: int = 0,
    tol: float = 0.0,
    max_evals: int | None = None,
    target: float | None = None,
    max_time: float | None = None,
    dim: int | None = None,
    *,
    callback: Callable[[int, float], object] | Callable[[Any], object] | None = None,
    vectorized: bool = False,
    x0: (Sequence[Sequence[float]] | Sequence[Sequence[Sequence[float]]] | NDArray[Any]
         | None) = None,
    args: tuple[Any, ...] = (),
) -> GreyResult:
    """Minimizes a grey objective with PSO."""

def hypervolume(front: _Vectors, reference: _Vector) -> float:
    """Hypervolume of an arbitrary set of objective vectors (minimization)."""

def hypervolume_contributions(front: _Vectors, reference: _Vector) -> list[float]:
    """Exclusive hypervolume contribution of every point of a front (minimization)."""

def benchmark_info(name: str) -> tuple[float, float]:
    """Metadata of a native benchmark: ``(bound, optimum_value)``."""

def grey_benchmark_info(name: str) -> tuple[float, float, float]:
    """Metadata of a native grey benchmark: ``(center_bound, max_spread, optimum_value)``."""
