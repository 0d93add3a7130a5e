"""Argument binding and conversion: CPython's wording, the argument name, the cause."""

import inspect

import numpy as np
import pytest

import corvalinth as pso
from conftest import sphere

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


def test_every_parameter_binds_by_position():
    # 28 positional values: the defaults in order, with max_iter lowered.
    params = list(inspect.signature(pso.minimize).parameters.values())
    assert len(params) == 28
    values = [sphere, BOUNDS] + [p.default for p in params[2:]]
    values[4] = 3  # max_iter
    values[10] = 5  # seed
    r = pso.minimize(*values)
    assert len(r.convergence) == 3
    assert r.best_value == pso.minimize(sphere, BOUNDS, max_iter=3, seed=5).best_value


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
