"""Named parameters: ``bounds`` given as a dict from names to what each parameter may take.

A declaration of named parameters is translated once into the bounds and variable types of a
mixed space, which the swarm searches as it searches any other; only what user code sees
changes. Each parameter is one dimension:

- ``(low, high)``: a real number; the dimension's bounds, type ``"real"``.
- ``("log", low, high)`` with ``0 < low < high``: a real number on a log scale; the dimension
  spans ``[ln low, ln high]`` and the value is ``exp`` of the coordinate (kept within
  ``[low, high]``, and the bounds themselves at the ends), so the starting swarm is log-uniform.
- ``("int", low, high)`` with whole ``low <= high``: an ``int``; type ``"integer"`` on
  ``[low - 1/2, high + 1/2]`` narrowed by one step of the float grid at each end, so every integer
  owns a cell of width one and rounding never leaves ``[low, high]``.
- a list of choices (any objects): the index of a choice, as an integer on
  ``[-1/2, k - 1/2]`` narrowed the same way, so every choice is as likely at the start.

The objective then receives a dict (per point) or a list of dicts (vectorised). A run with named
parameters is the run with ``bounds=space.bounds`` and ``var_types=space.var_types`` whose
objective decodes its points with :meth:`NamedSpace.decode`, bit for bit.
"""

from __future__ import annotations

import inspect
import math
import numbers
from collections.abc import Callable, Mapping, Sequence
from typing import Any

__all__ = ["NamedSpace"]

_FORMS = ("(low, high), ('log', low, high), ('int', low, high) or a non-empty list of choices")


def _is_number(value: object) -> bool:
    return isinstance(value, numbers.Real) and not isinstance(value, bool)


def _round_half_away(x: float) -> float:
    if math.isnan(x):
        return 0.0
    if math.isinf(x):
        return x
    magnitude = abs(x)
    whole = math.floor(magnitude)
    if magnitude - whole >= 0.5:  # exact: no float rounding at .49999999999999994
        whole += 1
    return math.copysign(whole, x)


def _cell(low: float, high: float) -> tuple[float, float]:
    """``[low - 1/2, high + 1/2]`` narrowed by one float step at each end: the box whose points
    round (halves away from zero) to the integers from low to high and to no others."""
    below, above = low - 0.5, high + 0.5
    return (low if below == low else math.nextafter(below, low),
            high if above == high else math.nextafter(above, high))


class _Parameter:
    """One named dimension: its kind, its box and how a coordinate becomes a value."""

    __slots__ = ("choices", "given", "high", "kind", "low", "name")

    def __init__(self, name: str, given: Any) -> None:
        self.name = name
        self.given = given
        self.choices: list[Any] = []
        if isinstance(given, list):
            if not given:
                self._refuse("a list of choices needs at least one choice")
            self.kind = "choice"
            self.choices = list(given)
            self.low, self.high = 0.0, float(len(given) - 1)
            return
        if not isinstance(given, tuple) or len(given) not in (2, 3):
            self._refuse(f"expected {_FORMS}, got {given!r}")
        kind = "real" if len(given) == 2 else given[0]
        if kind not in ("log", "int", "real") or (kind == "real" and len(given) == 3):
            self._refuse(f"unknown scale {kind!r}: expected 'log' or 'int'")
        low, high = given[-2:]
        if not (_is_number(low) and _is_number(high)):
            self._refuse(f"bounds must be real numbers, got {low!r} and {high!r}")
        low, high = float(low), float(high)
        if not (math.isfinite(low) and math.isfinite(high) and low <= high):
            self._refuse(f"bounds must be finite with low <= high, got {given!r}")
        if kind == "log" and not 0 < low < high:
            self._refuse(f"a log scale needs 0 < low < high, got {given!r}")
        if kind == "int" and not (low.is_integer() and high.is_integer()):
            self._refuse(f"integer bounds must be whole numbers, got {given!r}")
        self.kind, self.low, self.high = kind, low, high

    def _refuse(self, why: str) -> None:
        raise ValueError(f"parameter {self.name!r}: {why}")

    @property
    def var_type(self) -> str:
        return "real" if self.kind in ("real", "log") else "integer"

    @property
    def box(self) -> tuple[float, float]:
        if self.kind == "log":
            return math.log(self.low), math.log(self.high)
        if self.kind == "real":
            return self.low, self.high
        return _cell(self.low, self.high)

    def value(self, coordinate: float) -> Any:
        """The value a coordinate stands for. Integer kinds are rounded as the space decodes them
        (halves away from zero, NaN as 0, then into the bounds), so a decoded point and a raw
        position (a snapshot's) give the same values."""
        if self.kind == "real":
            return coordinate
        if self.kind == "log":
            # The ends of the box are the bounds themselves (exp(ln b) may miss b by an ulp).
            low, high = self.box
            if coordinate <= low:
                return self.low
            if coordinate >= high:
                return self.high
            return min(max(math.exp(coordinate), self.low), self.high)
        whole = min(max(_round_half_away(coordinate), self.low), self.high)
        return int(whole) if self.kind == "int" else self.choices[int(whole)]

    def coordinate(self, value: Any) -> float:
        """The coordinate that decodes to ``value`` (a warm start's point)."""
        if self.kind == "choice":
            for index, choice in enumerate(self.choices):
                if choice is value or choice == value:
                    return float(index)
            self._refuse(f"{value!r} is not one of the choices")
        if not _is_number(value):
            self._refuse(f"expected a number, got {value!r}")
        number = float(value)
        if not self.low <= number <= self.high:
            self._refuse(f"{value!r} is outside [{self.given[-2]!r}, {self.given[-1]!r}]")
        return math.log(number) if self.kind == "log" else number


class NamedSpace:
    """The mixed space a dict of named parameters stands for, and the translation between its
    points and the dicts user code sees.

    Attributes:
        names (list[str]): the parameters in the dict's order, one dimension each.
        bounds (list[tuple[float, float]]): the box the swarm searches.
        var_types (list[str]): ``"real"`` or ``"integer"`` per dimension.
    """

    __slots__ = ("_parameters", "bounds", "names", "var_types")

    def __init__(self, declaration: Mapping[str, Any]) -> None:
        if not isinstance(declaration, Mapping):
            raise TypeError(f"named parameters must be a dict, not {type(declaration).__name__}")
        if not declaration:
            raise ValueError("named parameters: the dict names no parameter")
        for name in declaration:
            if not isinstance(name, str):
                raise ValueError(f"parameter names must be str, got {name!r}")
        self._parameters = [_Parameter(name, given) for name, given in declaration.items()]
        self.names = [p.name for p in self._parameters]
        self.bounds = [p.box for p in self._parameters]
        self.var_types = [p.var_type for p in self._parameters]

    @property
    def declaration(self) -> dict[str, Any]:
        """The dict the space was built from (a copy)."""
        return {p.name: list(p.choices) if p.kind == "choice" else p.given
                for p in self._parameters}

    def __reduce__(self) -> tuple[Any, ...]:
        return NamedSpace, (self.declaration,)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, NamedSpace) and self.declaration == other.declaration

    __hash__ = None  # type: ignore[assignment]  # equal by a dict, which is mutable

    def __repr__(self) -> str:
        return f"NamedSpace({self.declaration!r})"

    def decode(self, point: Sequence[float]) -> dict[str, Any]:
        """The parameters a decoded point stands for."""
        return {p.name: p.value(float(x)) for p, x in zip(self._parameters, point, strict=True)}

    def decode_rows(self, rows: Any) -> list[dict[str, Any]]:
        """The parameters of each row of a swarm (an array or a sequence of points)."""
        rows = rows.tolist() if hasattr(rows, "tolist") else rows
        return [self.decode(row) for row in rows]

    def encode(self, params: Mapping[str, Any]) -> list[float]:
        """The point whose parameters are ``params``, which must name every parameter."""
        if not isinstance(params, Mapping) or set(params) != set(self.names):
            raise ValueError(f"a named point must give exactly the parameters {self.names}, "
                             f"got {params!r}")
        return [p.coordinate(params[p.name]) for p in self._parameters]

    def encode_start(self, x0: Any) -> Any:
        """A warm start given as a dict or a list of dicts, as points of the space."""
        if isinstance(x0, Mapping):
            return self.encode(x0)
        if isinstance(x0, Sequence) and x0 and all(isinstance(p, Mapping) for p in x0):
            return [self.encode(p) for p in x0]
        raise ValueError("x0 must be a dict of parameters or a list of such dicts when bounds "
                         "name the parameters")

    def asked(self, asked: Any) -> Any:
        """What ``Optimizer.ask`` hands out, with its points as dicts: a dict, a list of dicts
        (the batch form), ``(ticket, dict)`` (the asynchronous form) or None."""
        if asked is None:
            return None
        if isinstance(asked, tuple):
            ticket, point = asked
            return ticket, self.decode(point)
        if hasattr(asked, "tolist"):
            return self.decode_rows(asked)
        return self.decode(asked)

    def wrap(self, function: Callable[..., Any], vectorized: bool) -> Callable[..., Any]:
        """``function`` called with dicts instead of points."""
        return _Named(self, function, vectorized)

    def wrap_callback(self, callback: Callable[..., Any]) -> Callable[..., Any]:
        """A callback that takes a snapshot (``intermediate_result``) gets one with
        ``best_params``; any other callback is returned as it is."""
        try:
            parameters = list(inspect.signature(callback).parameters)
        except (TypeError, ValueError):
            return callback
        if parameters != ["intermediate_result"]:
            return callback
        return _NamedCallback(self, callback)

    def trials(self, rows: Sequence[Sequence[float]],
               labels: Sequence[str]) -> list[dict[str, Any]]:
        """One dict per recorded evaluation: the parameters, then the values under ``labels``."""
        clash = set(labels) & set(self.names)
        if clash:
            raise ValueError(f"parameter {sorted(clash)[0]!r} has the name of a value column")
        dim = len(self._parameters)
        return [{**self.decode(row[:dim]), **dict(zip(labels, row[dim:], strict=True))}
                for row in rows]


class _Named:
    """A user function of dicts seen by the run as a function of points."""

    __slots__ = ("function", "space", "vectorized")

    def __init__(self, space: NamedSpace, function: Callable[..., Any], vectorized: bool) -> None:
        self.space = space
        self.function = function
        self.vectorized = vectorized

    def __call__(self, point: Any, *args: Any) -> Any:
        if self.vectorized:
            return self.function(self.space.decode_rows(point), *args)
        return self.function(self.space.decode(point), *args)

    def __repr__(self) -> str:
        return f"named({self.function!r})"


class _NamedCallback:
    """A snapshot callback whose snapshot also holds ``best_params``."""

    __slots__ = ("callback", "space")

    def __init__(self, space: NamedSpace, callback: Callable[..., Any]) -> None:
        self.space = space
        self.callback = callback

    def __call__(self, intermediate_result: Any) -> Any:
        intermediate_result.best_params = self.space.decode(intermediate_result.best_position)
        return self.callback(intermediate_result)


def trials(space: NamedSpace | None, rows: list[list[float]], dim: int,
           labels: Sequence[str]) -> list[dict[str, Any]]:
    """The rows of a record of evaluations as dicts: named parameters, or ``x0``, ``x1``, ...
    without names; then the values under ``labels``."""
    if space is not None:
        return space.trials(rows, labels)
    columns = [f"x{k}" for k in range(dim)] + list(labels)
    return [dict(zip(columns, row, strict=True)) for row in rows]


def to_pandas(result: Any) -> Any:
    """``result.trials()`` as a pandas DataFrame."""
    try:
        import pandas  # type: ignore[import-untyped,unused-ignore]
    except ImportError as error:
        raise ImportError("to_pandas() needs pandas: pip install pandas") from error
    return pandas.DataFrame(result.trials())
