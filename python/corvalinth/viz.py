"""Plotting helpers: convergence curves, swarm animations and Pareto fronts.

Built on matplotlib, which is imported only when a helper is called, so ``import corvalinth``
stays light. Install it with ``pip install matplotlib`` or ``pip install "corvalinth[viz]"``.

>>> import corvalinth as pso
>>> from corvalinth import viz
>>> r = pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 2, seed=1)
>>> ax = viz.plot_convergence(r)            # doctest: +SKIP
>>> anim = viz.animate_swarm(r)             # doctest: +SKIP

Keep a reference to a returned animation while it is shown or saved: matplotlib stops an
animation whose object has been garbage-collected.
"""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from typing import TYPE_CHECKING, Any, cast

if TYPE_CHECKING:
    from matplotlib.animation import FuncAnimation
    from matplotlib.axes import Axes

    from corvalinth import GreyResult, ParetoFront, PsoResult

__all__ = ["plot_convergence", "animate_swarm", "plot_front", "animate_front"]


def _pyplot() -> Any:
    try:
        import matplotlib.pyplot as plt
    except ImportError as error:
        raise ImportError(
            "corvalinth.viz needs matplotlib: pip install matplotlib "
            '(or pip install "corvalinth[viz]")') from error
    return plt


def _axes(ax: Axes | None, three_d: bool = False) -> Axes:
    """The axes to draw on: the given one, or a fresh figure's."""
    if ax is not None:
        if three_d and getattr(ax, "name", "") != "3d":
            raise ValueError("three objectives need a 3-D axes: "
                             "fig.add_subplot(projection='3d')")
        return ax
    figure = _pyplot().figure()
    return cast("Axes", figure.add_subplot(projection="3d" if three_d else None))


def _check_indices(indices: Sequence[int], count: int | None, what: str,
                   allowed: tuple[int, ...]) -> None:
    """Checks the number of indices and, when ``count`` is known, that each is in range."""
    if len(indices) not in allowed:
        raise ValueError(f"{what} must have {' or '.join(map(str, allowed))} entries, "
                         f"got {len(indices)}")
    if count is None:
        return
    for index in indices:
        if not 0 <= index < count:
            raise ValueError(f"{what} index {index} is out of range: the data has {count} "
                             f"{'dimension' if what == 'dims' else 'objective'}"
                             f"{'' if count == 1 else 's'} (valid indices 0 to {count - 1})")


def _limits(values: list[float], bound: tuple[float, float] | None) -> tuple[float, float]:
    """Axis limits: the given bound, or the finite data range with a 5% margin."""
    if bound is not None:
        return float(bound[0]), float(bound[1])
    finite = [v for v in values if math.isfinite(v)]
    if not finite:
        return -1.0, 1.0
    low, high = min(finite), max(finite)
    margin = 0.05 * (high - low) or 0.5 * max(abs(low), 1.0)
    return low - margin, high + margin


def _name(names: Sequence[str] | None, index: int, symbol: str) -> str:
    """The axis label of variable or objective ``index``: its name from ``names``, or
    ``symbol[index]``."""
    if names is None:
        return f"{symbol}[{index}]"
    if not 0 <= index < len(names):
        raise ValueError(f"names has {len(names)} entr{'y' if len(names) == 1 else 'ies'}: "
                         f"no name for index {index}")
    return str(names[index])


def _title(ax: Axes, title: str | None, default: str) -> None:
    """Sets ``title``, or ``default`` when ``title`` is None and the axes has none yet."""
    if title is not None:
        ax.set_title(title)
    elif not ax.get_title():
        ax.set_title(default)


def _legend(ax: Axes) -> None:
    """Shows a legend once the axes holds a labelled artist (matplotlib's own labels, which
    start with an underscore, do not count)."""
    if ax.get_legend_handles_labels()[1]:
        ax.legend()


def _is_number(value: object) -> bool:
    try:
        float(value)  # type: ignore[arg-type]
    except (TypeError, ValueError):
        return False
    return True


def plot_convergence(result: PsoResult | GreyResult | Sequence[PsoResult | GreyResult]
                     | Mapping[str, PsoResult | GreyResult], ax: Axes | None = None,
                     log: bool | None = None, *, title: str | None = None,
                     **line_kwargs: Any) -> Axes:
    """Plot the convergence curve of a ``PsoResult`` or ``GreyResult`` and return the Axes.

    The x axis counts iterations (the first point is the best value after iteration 1), the y
    axis the best value. With ``log=None`` the y axis turns logarithmic when every finite value
    is positive and they span more than two decades; ``True`` or ``False`` forces the choice.
    Call it again with the same ``ax`` to compare runs.

    Several runs go on one plot in one call: pass a list of results (labelled "run 1",
    "run 2", ...) or a mapping from label to result; a legend then names the curves, and the
    log-scale choice looks at all of them. ``title`` replaces the default title ("" for none;
    the default never overwrites a title the given ``ax`` already has). Further keyword
    arguments go to matplotlib's ``Axes.plot`` for every curve (``color``, ``linewidth``,
    ``label`` for a single run, ...).

    Example::

        r = pso.minimize("sphere", bounds=[(-5, 5)] * 4, seed=1)
        ax = viz.plot_convergence(r)
        ax.figure.savefig("convergence.png")
        runs = {name: pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 10, seed=1,
                                   bounds_handling=name) for name in ("clamp", "wrap")}
        ax = viz.plot_convergence(runs, log=True)
    """
    runs: list[tuple[str | None, object]]
    if isinstance(result, Mapping):
        runs = [(str(label), run) for label, run in result.items()]
    elif hasattr(result, "convergence") or not isinstance(result, Sequence):
        runs = [(line_kwargs.pop("label", None), result)]
    else:
        runs = [(f"run {k}", run) for k, run in enumerate(result, start=1)]
    if not runs:
        raise ValueError("plot_convergence needs at least one result")
    curves = []
    for label, run in runs:
        convergence = getattr(run, "convergence", None)
        if convergence is None:
            raise TypeError("plot_convergence expects a PsoResult or GreyResult, "
                            f"not {type(run).__name__}")
        convergence = list(convergence)
        if not convergence:
            raise ValueError("the result has no convergence curve: it was run with "
                             "record_history=False (or max_iter=0)")
        curves.append((label, convergence))
    ax = _axes(ax)
    for label, convergence in curves:
        ax.plot(range(1, len(convergence) + 1), convergence, label=label, **line_kwargs)
    ax.set_xlabel("iteration")
    ax.set_ylabel("best value")
    _title(ax, title, "Convergence: best value per iteration")
    if log is None:
        finite = [v for _, convergence in curves for v in convergence if math.isfinite(v)]
        log = bool(finite) and min(finite) > 0 and max(finite) > 100 * min(finite)
        if log:
            ax.set_yscale("log")
    else:
        ax.set_yscale("log" if log else "linear")
    _legend(ax)
    return ax


def animate_swarm(result: PsoResult, dims: Sequence[int] = (0, 1), ax: Axes | None = None,
                  interval: int = 100,
                  bounds: Sequence[float] | Sequence[Sequence[float]] | None = None, *,
                  names: Sequence[str] | None = None, **scatter_kwargs: Any) -> FuncAnimation:
    """Animate ``result.history``: one frame per iteration, particles as points.

    Each frame shows the particles' positions at the start of an iteration in the two
    dimensions ``dims``; a cross marks the final best position. A one-dimensional problem
    plots the coordinate against the particle index (only ``dims[0]`` is used) and marks the
    best position with a dashed line. ``bounds``
    fixes the axis ranges: the ``bounds`` given to ``minimize`` (one pair per dimension) or a
    single ``(min, max)`` pair for both axes; by default they fit the whole history. ``names``
    gives the variables' names for the axis labels (indexed like the dimensions; by default
    ``x[0]``, ``x[1]``, ...). Further keyword arguments go to matplotlib's ``Axes.scatter`` for
    the particles (``s``, ``color``, ...). Keep a reference to the returned animation while it
    plays.

    Example::

        r = pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 2, seed=1)
        anim = viz.animate_swarm(r, bounds=[(-5.12, 5.12)] * 2)
        anim.save("swarm.gif", writer="pillow")
    """
    history = getattr(result, "history", None)
    if history is None:
        raise TypeError(f"animate_swarm expects a PsoResult, not {type(result).__name__}")
    history = list(history)
    if not history or not history[0]:
        raise ValueError("the result has no swarm history: it was run with "
                         "record_history=False (or max_iter=0)")
    n_dims = len(history[0][0])
    dims = tuple(dims)
    _check_indices(dims[:1] if n_dims == 1 else dims, n_dims, "dims",
                   (1, 2) if n_dims == 1 else (2,))
    shown = dims[:1] if n_dims == 1 else dims[:2]
    limits: list[tuple[float, float] | None] = [None] * len(shown)
    if bounds is not None:
        if len(bounds) == 2 and all(_is_number(b) for b in bounds):
            limits = [(float(bounds[0]), float(bounds[1]))] * len(shown)  # type: ignore[arg-type]
        else:
            per_dim = [(float(lo), float(hi)) for lo, hi in bounds]  # type: ignore[misc]
            if len(per_dim) != n_dims:
                raise ValueError(f"bounds has {len(per_dim)} pairs but the problem has "
                                 f"{n_dims} dimension{'' if n_dims == 1 else 's'}")
            limits = [per_dim[d] for d in shown]
    if n_dims == 1:
        frames = [[(float(i), p[dims[0]]) for i, p in enumerate(swarm)] for swarm in history]
        best = None
        limits.insert(0, None)  # the x axis holds particle indices
        x_label, y_label = "particle", _name(names, dims[0], "x")
    else:
        frames = [[(p[dims[0]], p[dims[1]]) for p in swarm] for swarm in history]
        best = (result.best_position[dims[0]], result.best_position[dims[1]])
        x_label, y_label = _name(names, dims[0], "x"), _name(names, dims[1], "x")
    xs = [x for frame in frames for x, _ in frame]
    ys = [y for frame in frames for _, y in frame]
    if best is not None:
        xs.append(best[0])
        ys.append(best[1])
    ax = _axes(ax)
    if n_dims == 1:
        ax.axhline(result.best_position[dims[0]], color="red", linestyle="--", label="best")
    return _animate(ax, frames, best, _limits(xs, limits[0]), _limits(ys, limits[1]),
                    (x_label, y_label), interval, "iteration {} of {}", scatter_kwargs)


def plot_front(front: ParetoFront | Sequence[Sequence[float]]
               | Mapping[str, ParetoFront | Sequence[Sequence[float]]], ax: Axes | None = None,
               objectives: Sequence[int] = (0, 1), *, title: str | None = None,
               names: Sequence[str] | None = None, **scatter_kwargs: Any) -> Axes:
    """Scatter a Pareto front's objective vectors and return the Axes.

    ``front`` is a ``ParetoFront`` (or any list of objective vectors). ``objectives`` picks two
    objectives for a plane plot, or three for a 3-D plot (a 3-D Axes is created when ``ax`` is
    None; a given ``ax`` must then have ``projection="3d"``).

    Several fronts go on one plot in one call as a mapping from label to front, named in a
    legend. ``names`` gives the objectives' names for the axis labels (indexed like the
    objectives; by default ``f[0]``, ``f[1]``, ...). ``title`` replaces the default title ("" for
    none; the default never overwrites a title the given ``ax`` already has). Further keyword
    arguments go to matplotlib's ``Axes.scatter`` (``s``, ``marker``, ``color``, ``label`` for a
    single front, ...).

    Example::

        front = pso.minimize_multi(zdt1, bounds=[(0, 1)] * 30, seed=1)
        ax = viz.plot_front(front)
        ax.figure.savefig("front.png")
    """
    if isinstance(front, Mapping):
        fronts = [(str(label), one) for label, one in front.items()]
        if not fronts:
            raise ValueError("plot_front needs at least one front")
    else:
        fronts = [(scatter_kwargs.pop("label", None), front)]
    sets = []
    for label, one in fronts:
        source = cast("Sequence[Sequence[float]]", getattr(one, "objectives", one))
        sets.append((label, [list(v) for v in source]))
    objectives = tuple(objectives)
    width = next((len(vectors[0]) for _, vectors in sets if vectors), None)
    _check_indices(objectives, width, "objectives", (2, 3))
    ax = _axes(ax, three_d=len(objectives) == 3)
    for label, vectors in sets:
        columns = [[v[k] for v in vectors] for k in objectives]
        ax.scatter(*columns, label=label, **scatter_kwargs)
    ax.set_xlabel(_name(names, objectives[0], "f"))
    ax.set_ylabel(_name(names, objectives[1], "f"))
    if len(objectives) == 3:
        ax.set_zlabel(_name(names, objectives[2], "f"))  # type: ignore[attr-defined]
    _title(ax, title, "Pareto front" if len(sets) > 1
           else f"Pareto front ({len(sets[0][1])} points)")
    _legend(ax)
    return ax


def animate_front(front: ParetoFront, ax: Axes | None = None, interval: int = 100,
                  objectives: Sequence[int] = (0, 1), *, names: Sequence[str] | None = None,
                  **scatter_kwargs: Any) -> FuncAnimation:
    """Animate ``front.front_history``: the archive's objective vectors, one frame per iteration.

    ``objectives`` picks the two objectives to plot. The axis ranges fit the whole history.
    ``names`` gives the objectives' names for the axis labels, as in :func:`plot_front`.
    Further keyword arguments go to matplotlib's ``Axes.scatter`` (``s``, ``color``, ...).
    Keep a reference to the returned animation while it plays.

    Example::

        front = pso.minimize_multi(zdt1, bounds=[(0, 1)] * 30, seed=1)
        anim = viz.animate_front(front, interval=50)
        anim.save("front.gif", writer="pillow")
    """
    history = getattr(front, "front_history", None)
    if history is None:
        raise TypeError(f"animate_front expects a ParetoFront, not {type(front).__name__}")
    history = list(history)
    if not history:
        raise ValueError("the front has no history: it was run with record_history=False "
                         "(or max_iter=0)")
    objectives = tuple(objectives)
    width = next((len(snapshot[0]) for snapshot in history if snapshot), None)
    if width is None:
        raise ValueError("every snapshot of the front's history is empty")
    _check_indices(objectives, width, "objectives", (2,))
    a, b = objectives
    frames = [[(v[a], v[b]) for v in snapshot] for snapshot in history]
    xs = [x for frame in frames for x, _ in frame]
    ys = [y for frame in frames for _, y in frame]
    return _animate(ax, frames, None, _limits(xs, None), _limits(ys, None),
                    (_name(names, a, "f"), _name(names, b, "f")), interval, "iteration {} of {}",
                    scatter_kwargs)


def _animate(ax: Axes | None, frames: list[list[tuple[float, float]]],
             best: tuple[float, float] | None, x_limits: tuple[float, float],
             y_limits: tuple[float, float], labels: tuple[str, str], interval: int,
             title: str, scatter_kwargs: dict[str, Any]) -> FuncAnimation:
    """A FuncAnimation that moves one scatter through ``frames`` (lists of (x, y) points)."""
    import numpy as np
    from matplotlib.animation import FuncAnimation

    ax = _axes(ax)
    ax.set_xlim(*x_limits)
    ax.set_ylim(*y_limits)
    ax.set_xlabel(labels[0])
    ax.set_ylabel(labels[1])
    points = ax.scatter([], [], **{"s": 16, **scatter_kwargs})
    if best is not None:
        ax.scatter([best[0]], [best[1]], marker="x", s=80, color="red", label="best",
                   zorder=3)
    if ax.get_legend_handles_labels()[1]:
        ax.legend(loc="upper right")
    heading = ax.set_title("")

    def update(index: int) -> tuple[Any, ...]:
        points.set_offsets(np.asarray(frames[index], dtype=float).reshape(-1, 2))
        heading.set_text(title.format(index + 1, len(frames)))
        return points, heading

    update(0)
    return FuncAnimation(ax.figure.canvas.figure, update, frames=len(frames), interval=interval,
                         blit=False)
