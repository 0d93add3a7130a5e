"""Checks before the run: bounds readings, names, counts, and which check wins."""

import math

import numpy as np
import pytest

import corvalinth as pso
from helpers import sphere

NOT_BOUNDS = ("bounds must be a list of (min, max) pairs (or a NumPy array of shape (dim, 2)), "
              "or a single (min, max) pair with dim=<n>")
NEEDS_DIM = "with a single (min, max) bound, pass dim=<number of dimensions>"
TWO_VALUES = "each bound must have exactly two values, (min, max)"
NATIVE_EXTRAS = ("constraints, equality_constraints and repair require a Python objective "
                 "callable, not a native benchmark name; pass a function as the objective")
UNKNOWN_BENCHMARK = ("unknown native benchmark: '{}'. Available: sphere, rastrigin, rosenbrock, "
                     "ackley, griewank, schwefel, bent_cigar, discus, elliptic, zakharov, levy, "
                     "expanded_schaffer")


def dims_seen(bounds, **kwargs):
    """The dimensions of the point the objective receives."""
    seen = []
    pso.minimize(lambda x: seen.append(list(x)) or 0.0, bounds, n_particles=1, max_iter=0,
                 **kwargs)
    return len(seen[0]), seen[0]


@pytest.mark.parametrize(
    "bounds, dim, expected",
    [
        ([(-5, 5)] * 3, None, 3),
        ([(-5, 5)] * 3, 3, 3),
        ([[-5, 5], [0, 1]], None, 2),
        (((-5, 5), (0, 1)), None, 2),
        (np.array([[-1.0, 1.0]] * 4), None, 4),
        ((-5, 5), 3, 3),
        ([-5, 5], 3, 3),
        (np.array([-5.0, 5.0]), 2, 2),
    ],
)
def test_bounds_readings(bounds, dim, expected):
    assert dims_seen(bounds, dim=dim)[0] == expected


V_MAX = "v_max must be a finite value >= 0 (or None to disable)"


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"bounds": (-5, 5)}, NEEDS_DIM),
        ({"bounds": [-5, 5]}, NEEDS_DIM),
        ({"bounds": (-5, 5), "dim": 0}, "dim must be >= 1"),
        ({"bounds": [(-5, 5)] * 3, "dim": 2}, "dim=2 does not match the 3 bound pairs given"),
        ({"bounds": [[0, 1, 2]]}, TWO_VALUES),
        ({"bounds": [[0, 1], [2]], "dim": 5}, TWO_VALUES),
        ({"bounds": []}, "bounds is empty"),
        ({"bounds": [], "dim": 3}, "bounds is empty"),
        ({"bounds": "ab"}, NOT_BOUNDS),
        ({"bounds": [1, 2, 3]}, NOT_BOUNDS),
        ({"bounds": [(0, 1), (0, "x")]}, NOT_BOUNDS),
        ({"bounds": 5, "dim": 2}, NOT_BOUNDS),
        ({"bounds": None, "dim": 2}, NOT_BOUNDS),
        ({"n_particles": 0}, "n_particles must be >= 1"),
        ({"v_max": -1.0}, V_MAX),
        ({"v_max": math.inf}, V_MAX),
        ({"v_max": math.nan}, V_MAX),
        ({"bounds_handling": "Clamp"},
         "unknown bounds_handling: 'Clamp'. Available: clamp, reflect, wrap, reinit"),
        ({"velocity": "FIPS"}, "unknown variant: 'FIPS'. Available: inertia, constriction, fips"),
        ({"topology": " ring"},
         "unknown topology: ' ring'. Available: global, ring, vonneumann, random"),
        ({"var_types": ["real"]}, "var_types has length 1 but bounds has length 2"),
        ({"var_types": ["real", "Integer"]},
         "unknown variable type: 'Integer'. Available: real, integer, binary"),
    ],
)
def test_bad_bounds_and_settings_are_value_errors_with_their_message(kwargs, message):
    with pytest.raises(ValueError) as raised:
        pso.minimize(sphere, **{"bounds": [(-1, 1)] * 2, **kwargs})
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "seconds, message",
    [
        (-1.0, "cannot convert float seconds to Duration: value is negative"),
        (math.nan, "cannot convert float seconds to Duration: value is either too big or NaN"),
        (2.0**64, "cannot convert float seconds to Duration: value is either too big or NaN"),
    ],
)
def test_bad_time_budget_is_an_internal_error(seconds, message):
    with pytest.raises(BaseException) as raised:
        pso.minimize(sphere, [(-1, 1)], max_time=seconds)
    assert type(raised.value).__name__ == "PanicException"
    assert not isinstance(raised.value, Exception)
    assert str(raised.value) == message


def test_panic_exception_derives_directly_from_base_exception():
    panic = pso.PanicException
    assert panic.__bases__ == (BaseException,)
    with pytest.raises(panic, match="invalid bound in dimension 0"):
        pso.minimize(sphere, [(1, 0)])


@pytest.mark.parametrize("extra", [{"repair": list}, {"constraints": [sphere]},
                                   {"equality_constraints": [sphere]}])
def test_native_objective_refuses_python_extras(extra):
    with pytest.raises(ValueError) as raised:
        pso.minimize("sphere", [(-1, 1)], **extra)
    assert str(raised.value) == NATIVE_EXTRAS


def test_empty_constraint_lists_are_none_for_native():
    r = pso.minimize("sphere", [(-1, 1)], constraints=[], equality_constraints=(), max_iter=1)
    assert r.evaluations == 60


def test_unknown_benchmark_is_a_key_error_raised_late():
    with pytest.raises(KeyError) as raised:
        pso.minimize("Sphere", [(-1, 1)])
    assert raised.value.args == (UNKNOWN_BENCHMARK.format("Sphere"),)
    with pytest.raises(ValueError) as raised:
        pso.minimize("sphere", [(-1, 1)], vectorized=True)
    assert str(raised.value) == ("vectorized=True requires a Python objective callable, not a "
                                 "native benchmark")


# Two failing checks: the earlier in the order wins.
@pytest.mark.parametrize(
    "kwargs, error, fragment",
    [
        ({"bounds": [], "n_particles": 0}, ValueError, "bounds is empty"),
        ({"n_particles": 0, "v_max": -1}, ValueError, "n_particles"),
        ({"v_max": -1, "max_time": -1.0}, ValueError, "v_max"),
        ({"max_time": -1.0, "bounds_handling": "x"}, BaseException, "Duration"),
        ({"bounds_handling": "x", "velocity": "x"}, ValueError, "bounds_handling"),
        ({"velocity": "x", "topology": "x"}, ValueError, "variant"),
        ({"topology": "x", "objective": "sphere", "repair": list}, ValueError, "topology"),
        ({"objective": "sphere", "repair": list, "var_types": ["x"]}, ValueError, "require a"),
        ({"objective": "nope", "var_types": ["x"]}, ValueError, "variable type"),
        ({"objective": "nope", "bounds": [(1, 0)]}, BaseException, "invalid bound"),
        ({"objective": "nope", "vectorized": True}, KeyError, "unknown native"),
    ],
)
def test_validation_order(kwargs, error, fragment):
    arguments = {"objective": sphere, "bounds": [(-1, 1)], **kwargs}
    with pytest.raises(error) as raised:
        pso.minimize(**arguments)
    assert fragment in str(raised.value)


def test_objective_is_not_checked_before_the_run():
    with pytest.raises(TypeError, match="'int' object is not callable"):
        pso.minimize(42, [(-1, 1)], max_iter=1)


@pytest.mark.parametrize("v_max", [0.0, -0.0])
def test_zero_velocity_limit_is_accepted(v_max):
    r = pso.minimize(sphere, [(-1, 1)], v_max=v_max, max_iter=2, seed=1)
    assert r.history[0] == r.history[1]  # nothing moves


@pytest.mark.parametrize("name", ["inertia", "constriction", "fips"])
@pytest.mark.parametrize("topology", ["global", "ring", "vonneumann", "von_neumann", "random"])
@pytest.mark.parametrize("handling", ["clamp", "reflect", "wrap", "reinit"])
def test_every_rule_topology_and_policy_runs(name, topology, handling):
    r = pso.minimize("sphere", [(-1, 1)] * 2, velocity=name, topology=topology,
                     bounds_handling=handling, n_particles=5, max_iter=3, seed=4)
    assert r.evaluations == 20
    assert all(-1 <= x <= 1 for x in r.best_position)


# Two spellings of one setting give the same run; c1 + c2 <= 4 falls back to (2.05, 2.05) for
# constriction and to phi = 4.1 for fips (a larger sum is used: the last pair differs).
@pytest.mark.parametrize("a, b, same", [
    ({"topology": "vonneumann"}, {"topology": "von_neumann"}, True),
    ({"velocity": "constriction"}, {"velocity": "constriction", "c1": 2.05, "c2": 2.05}, True),
    ({"velocity": "fips", "c1": 1, "c2": 1}, {"velocity": "fips", "c1": 2.05, "c2": 2.05}, True),
    ({"velocity": "fips", "c1": 2.5, "c2": 2.5}, {"velocity": "fips"}, False),
])
def test_equivalent_settings_give_the_same_run(a, b, same):
    def run(settings):
        return pso.minimize("sphere", [(-1, 1)] * 2, seed=2, max_iter=5, **settings).history

    assert (run(a) == run(b)) is same


@pytest.mark.parametrize("call", [
    lambda: pso.minimize("sphere", (-1, 1), dim=2**62),
    lambda: pso.minimize("sphere", [(-1, 1)], n_particles=2**60),
    lambda: pso.minimize("sphere", [(-1, 1)], n_particles=2**64 - 1),
    lambda: pso.minimize_multi(lambda x: [1.0], [(-1, 1)], n_particles=2**62),
    lambda: pso.minimize_grey("grey_sphere", (-1, 1), dim=2**62),
], ids=["minimize dim", "minimize swarm", "minimize largest swarm", "multi swarm", "grey dim"])
def test_sizes_too_large_to_store_are_memory_errors(call):
    with pytest.raises(MemoryError):
        call()


def two_values(x):
    return [sum(x), -sum(x)]


def grey_width(x):
    return sum(hi - lo for lo, hi in x)


# The same shared checks in the other front ends, each with its own checks in the places its
# documented order gives them: two failing checks, the earlier wins.
@pytest.mark.parametrize(
    "function, kwargs, error, fragment",
    [
        (pso.minimize_multi, {"velocity": "fips", "bounds": []}, ValueError, "MOPSO"),
        (pso.minimize_multi, {"bounds": [], "n_particles": 0}, ValueError, "bounds is empty"),
        (pso.minimize_multi, {"n_particles": 0, "v_max": -1}, ValueError, "n_particles"),
        (pso.minimize_multi, {"v_max": -1, "archive_size": 0}, ValueError, "v_max"),
        (pso.minimize_multi, {"archive_size": 0, "velocity": "x"}, ValueError, "archive_size"),
        (pso.minimize_multi, {"velocity": "x", "bounds_handling": "x"}, ValueError, "variant"),
        (pso.minimize_multi, {"bounds_handling": "x", "var_types": ["real"] * 2}, ValueError,
         "bounds_handling"),
        (pso.minimize_multi, {"var_types": ["real"] * 2, "x0": [9.0]}, ValueError,
         "var_types length must match bounds"),
        (pso.minimize_grey, {"representation": "x", "bounds": []}, ValueError, "representation"),
        (pso.minimize_grey, {"bounds": [], "max_spread": "x"}, ValueError, "bounds is empty"),
        (pso.minimize_grey, {"max_spread": "x", "n_particles": 0}, ValueError, "max_spread"),
        (pso.minimize_grey, {"n_particles": 0, "v_max": -1}, ValueError, "n_particles"),
        (pso.minimize_grey, {"v_max": -1, "max_time": -1.0}, ValueError, "v_max"),
        (pso.minimize_grey, {"max_time": -1.0, "velocity": "x"}, BaseException, "Duration"),
        (pso.minimize_grey, {"velocity": "x", "topology": "x"}, ValueError, "variant"),
        (pso.minimize_grey, {"topology": "x", "objective": "nope"}, ValueError, "topology"),
        (pso.Optimizer, {"bounds": [], "n_particles": 0}, ValueError, "bounds is empty"),
        (pso.Optimizer, {"bounds_handling": "x", "velocity": "x"}, ValueError, "bounds_handling"),
        (pso.Optimizer, {"topology": "x", "var_types": ["real"] * 2}, ValueError, "topology"),
        (pso.Optimizer, {"var_types": ["real"] * 2, "x0": [9.0]}, ValueError,
         "var_types has length 2 but bounds has length 1"),
    ],
)
def test_validation_order_of_every_front_end(function, kwargs, error, fragment):
    objective = {pso.minimize_multi: two_values, pso.minimize_grey: grey_width}.get(function)
    arguments = {"bounds": [(-1, 1)], **kwargs}
    if objective is not None:
        arguments.setdefault("objective", objective)
    with pytest.raises(error) as raised:
        function(**arguments)
    assert fragment in str(raised.value)
