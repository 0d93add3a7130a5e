"""PsoResult: read-only snapshot, fresh copies, repr formats, docstrings."""

import math

import pytest

import corvalinth as pso
from helpers import sphere


@pytest.fixture(scope="module")
def result():
    return pso.minimize(sphere, [(-5, 5)] * 2, n_particles=3, max_iter=4, seed=6)


def constant_run(value, position, **kwargs):
    """A run whose best value and best position are fixed by repair."""
    return pso.minimize(lambda x: value, [(-1, 1)] * max(1, len(position)), n_particles=1, max_iter=1,
                        repair=lambda x: position, **kwargs)


@pytest.mark.parametrize(
    "value, text",
    [
        (1e-9, "0.000000"),
        (12.5, "12.500000"),
        (-0.0, "-0.000000"),
        (-1e-9, "-0.000000"),
        (2.0 / 3.0, "0.666667"),
        (1e20, "100000000000000000000.000000"),
        (math.inf, "inf"),
        (-math.inf, "-inf"),
        (math.nan, "NaN"),
    ],
)
def test_repr_best_value(value, text):
    assert repr(constant_run(value, [0.0])).startswith(f"PsoResult(best_value={text}, ")


@pytest.mark.parametrize(
    "position, text",
    [
        ([0.5, 1e-05, 3.0], "[0.5, 1e-5, 3.0]"),
        ([0.0, -0.0, 1.0, -0.5], "[0.0, -0.0, 1.0, -0.5]"),
        ([1e-4, 9.99e-5, 2.5e16, 1e16, 9999999999999998.0],
         "[0.0001, 9.99e-5, 2.5e16, 1e16, 9999999999999998.0]"),
        ([-1.5e-300, 1.7976931348623157e308, 5e-324],
         "[-1.5e-300, 1.7976931348623157e308, 5e-324]"),
        ([0.1, 123456.789], "[0.1, 123456.789]"),
        ([math.inf, -math.inf, math.nan], "[inf, -inf, NaN]"),
        ([], "[]"),
    ],
)
def test_repr_best_position(position, text):
    r = constant_run(1.0, position)
    assert repr(r) == f"PsoResult(best_value=1.000000, best_position={text}, iters=1, " \
                      "stop_reason=max_iterations)"
    assert str(r) == repr(r)


@pytest.mark.parametrize("kwargs", [{"max_iter": 9}, {"patience": 1, "tol": 1e9},
                                    {"record_history": False}])
def test_repr_iterations_follow_the_curve(kwargs):
    r = pso.minimize("sphere", [(-1, 1)], **kwargs)
    assert f"iters={len(r.convergence)}, stop_reason={r.stop_reason})" in repr(r)


def test_reads_are_fresh_copies(result):
    result.convergence.append(1.0)
    result.best_position[0] = 99.0
    result.history[0][0][0] = 99.0
    assert len(result.convergence) == 4
    assert result.best_position[0] != 99.0
    assert result.history[0][0][0] != 99.0
    assert result.history is not result.history
    assert result.history == result.history


def test_attribute_types(result):
    assert type(result.best_value) is float and type(result.evaluations) is int
    assert type(result.stop_reason) is str
    assert all(type(v) is float for v in result.convergence + result.best_position)


def test_equality_is_identity(result):
    assert result == result and result != pso.minimize(sphere, [(-1, 1)], max_iter=0)


def test_docstrings():
    cls = pso.PsoResult
    assert cls.__doc__.splitlines()[0] == "Result of an optimization."
    assert [n for n in vars(cls) if not n.startswith("__") and not callable(getattr(cls, n))] == [
        "best_position", "convergence", "history", "evaluations", "stop_reason", "best_value",
        "iterations", "violation", "feasible", "recorded_evaluations", "parameters",
        "best_params", "x", "fun", "nit",
        "nfev", "success", "message"]
    assert cls.history.__doc__ == ("Positions per iteration: history[iter][particle][dim]. "
                                   "Empty if\nrecord_history=False.")
    assert cls.best_value.__doc__ == "Best objective function value."
    assert cls.__module__ == "corvalinth_native"


def test_integer_best_position_is_whole_floats():
    r = pso.minimize(lambda x: (x[0] - 3) ** 2 + (x[1] + 1) ** 2, [(-5, 5)] * 2, integer=True,
                     seed=1)
    assert r.best_position == [3.0, -1.0]
