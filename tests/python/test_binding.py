"""Argument binding and conversion: CPython's wording, the argument name, the cause."""

import inspect

import numpy as np
import pytest

import corvalinth as pso
from helpers import sphere

BOUNDS = [(-1, 1)] * 2


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "minimize() missing 2 required positional arguments: 'objective' and 'bounds'"),
        ((sphere,), {}, "minimize() missing 1 required positional argument: 'bounds'"),
        ((), {"bounds": BOUNDS}, "minimize() missing 1 required positional argument: 'objective'"),
        ((sphere, BOUNDS), {"colour": 1}, "minimize() got an unexpected keyword argument 'colour'"),
        ((sphere, BOUNDS), {"bounds": BOUNDS},
         "minimize() got multiple values for argument 'bounds'"),
        ((sphere, BOUNDS) + (None,) * 27, {},
         "minimize() takes from 2 to 28 positional arguments but 29 were given"),
    ],
)
def test_binding_errors_use_cpython_wording(args, kwargs, message):
    with pytest.raises(TypeError) as error:
        pso.minimize(*args, **kwargs)
    assert str(error.value) == message


def two_targets(x):
    return [sum(v * v for v in x), sum((v - 2) ** 2 for v in x)]


def midpoint_sphere(greys):
    return sum(((lo + hi) / 2) ** 2 + (hi - lo) / 2 for lo, hi in greys)


# Each front end with its objective, its parameter names in order, and small settings for a
# short seeded run.
FRONT_ENDS = {
    "minimize": (pso.minimize, sphere, [
        "objective", "bounds", "integer", "n_particles", "max_iter", "w", "c1", "c2", "velocity",
        "topology", "seed", "record_history", "v_max", "patience", "tol", "constraints", "penalty",
        "binary", "max_evals", "target", "max_time", "callback", "bounds_handling", "vectorized",
        "var_types", "dim", "equality_constraints", "repair", "x0", "restart_patience",
        "restart_tol", "restart_spread", "preset", "equality_tol", "args",
        "record_evaluations", "constraint_handling", "local_search", "local_search_share"]),
    "minimize_grey": (pso.minimize_grey, midpoint_sphere, [
        "objective", "bounds", "max_spread", "representation", "n_particles", "max_iter", "w",
        "c1", "c2", "velocity", "topology", "seed", "record_history", "v_max", "patience", "tol",
        "max_evals", "target", "max_time", "dim", "callback", "vectorized", "x0", "args"]),
    "minimize_multi": (pso.minimize_multi, two_targets, [
        "objective", "bounds", "n_particles", "max_iter", "archive_size", "w", "c1", "c2",
        "velocity", "seed", "integer", "binary", "var_types", "mutation_rate", "dim",
        "grid_divisions", "v_max", "bounds_handling", "record_history", "vectorized", "callback",
        "max_evals", "max_time", "x0", "turbulence", "archive_truncation", "preset", "args",
        "record_evaluations", "constraints", "equality_constraints", "equality_tol",
        "crossover_share", "swarm_selection", "crossover"]),
}
SMALL = {"n_particles": 8, "max_iter": 6, "seed": 5}


def outcome(result):
    return result.objectives if isinstance(result, pso.ParetoFront) else result.best_position


@pytest.mark.parametrize("front_end", FRONT_ENDS)
def test_documented_defaults_bind_by_position_and_by_keyword(front_end):
    # The documented signature and the native table agree on names, order and defaults: every
    # parameter passed with its documented default, by position or by keyword, runs exactly like
    # the call that leaves them out.
    function, objective, names = FRONT_ENDS[front_end]
    params = list(inspect.signature(function).parameters.values())
    assert [p.name for p in params] == names
    given = {p.name: SMALL.get(p.name, p.default) for p in params[2:]}
    keyword_only = {p.name: given.pop(p.name) for p in params if p.kind is p.KEYWORD_ONLY}
    expected = outcome(function(objective, BOUNDS, **SMALL))
    assert outcome(function(objective, BOUNDS, *given.values(), **keyword_only)) == expected
    assert outcome(function(objective, BOUNDS, **given, **keyword_only)) == expected
    with pytest.raises(TypeError, match="positional arguments"):
        function(objective, BOUNDS, *given.values(), *keyword_only.values())


def test_signature_matches_defaults():
    sig = inspect.signature(pso.minimize)
    assert list(sig.parameters)[:3] == ["objective", "bounds", "integer"]
    assert sig.parameters["penalty"].default == 1e6
    assert sig.parameters["velocity"].default == "inertia"
    assert pso.minimize.__doc__.startswith("Minimizes an objective function")


@pytest.mark.parametrize(
    "kwargs, name",
    [
        ({"integer": 1}, "integer"),
        ({"n_particles": 2.0}, "n_particles"),
        ({"max_iter": "3"}, "max_iter"),
        ({"w": "0.5"}, "w"),
        ({"velocity": 1}, "velocity"),
        ({"seed": 1.5}, "seed"),
        ({"record_history": None}, "record_history"),
        ({"constraints": "g"}, "constraints"),
        ({"constraints": 5}, "constraints"),
        ({"penalty": [1]}, "penalty"),
        ({"var_types": ["real", 3]}, "var_types"),
        ({"var_types": "real"}, "var_types"),
        ({"dim": "2"}, "dim"),
        ({"equality_constraints": "h"}, "equality_constraints"),
        ({"vectorized": 0}, "vectorized"),
    ],
)
def test_conversion_type_errors_name_the_argument(kwargs, name):
    with pytest.raises(TypeError) as error:
        pso.minimize(sphere, BOUNDS, **kwargs)
    assert str(error.value).startswith(f"argument '{name}': ")
    assert isinstance(error.value.__cause__, TypeError)
    assert str(error.value) == f"argument '{name}': {error.value.__cause__}"


def test_str_is_never_a_sequence():
    with pytest.raises(TypeError, match=r"^argument 'constraints': Can't extract `str` to `Vec`$"):
        pso.minimize(sphere, BOUNDS, constraints="abc")


@pytest.mark.parametrize("name", ["n_particles", "max_iter", "patience", "seed", "max_evals"])
def test_negative_counts_raise_overflow_unwrapped(name):
    with pytest.raises(OverflowError):
        pso.minimize(sphere, BOUNDS, **{name: -1})


def test_first_failing_argument_in_order_wins():
    with pytest.raises(TypeError, match="argument 'max_iter'"):
        pso.minimize(sphere, BOUNDS, repair=None, tol="x", max_iter="y")


class Index:
    def __index__(self):
        return 4


class Real:
    def __float__(self):
        return 0.5


@pytest.mark.parametrize(
    "kwargs",
    [
        {"n_particles": Index(), "max_iter": np.int64(2)},
        {"w": Real(), "c1": np.float32(1.5), "c2": 2},
        {"record_history": np.bool_(False), "integer": np.False_},
        {"seed": 2**64 - 1},
        {"var_types": ("real", "int"), "constraints": (), "equality_constraints": np.array([])},
        {"v_max": None, "target": None, "max_time": None, "dim": None, "callback": None},
    ],
)
def test_accepted_argument_types(kwargs):
    r = pso.minimize(sphere, BOUNDS, **{"max_iter": 2, **kwargs})
    assert r.stop_reason == "max_iterations"


def test_seed_beyond_64_bits_overflows():
    with pytest.raises(OverflowError):
        pso.minimize(sphere, BOUNDS, seed=2**64)
