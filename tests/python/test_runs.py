"""Runs seen from Python: stop reasons, evaluation counts, spaces, reproducibility."""

import doctest

import pytest

import corvalinth as pso
import corvalinth_native
from helpers import sphere

BOX = [(-5, 5)] * 3


@pytest.mark.parametrize("objective", ["sphere", sphere])
@pytest.mark.parametrize(
    "kwargs, reason, evaluations, iterations",
    [
        ({"max_iter": 0}, "max_iterations", 30, 0),
        ({"max_iter": 7}, "max_iterations", 240, 7),
        ({"max_evals": 1}, "max_evaluations", 60, 1),
        ({"max_evals": 61}, "max_evaluations", 90, 2),
        ({"target": 1e9}, "target", 60, 1),
        ({"patience": 1, "tol": 1e9}, "stagnation", 60, 1),
        ({"max_time": 0.0}, "max_time", 60, 1),
        ({"callback": lambda i, b: i < 2}, "callback", 120, 3),
        ({"target": 1e9, "max_evals": 1, "callback": lambda i, b: False}, "callback", 60, 1),
        ({"target": 1e9, "max_evals": 1, "patience": 1, "tol": 1e9}, "stagnation", 60, 1),
        ({"target": 1e9, "max_evals": 1}, "target", 60, 1),
    ],
)
def test_stop_reasons_and_counts(objective, kwargs, reason, evaluations, iterations):
    r = pso.minimize(objective, BOX, seed=3, **kwargs)
    assert r.stop_reason == reason
    assert r.evaluations == evaluations
    assert len(r.convergence) == len(r.history) == iterations


def test_python_objective_sees_the_same_run_as_the_native_one():
    native = pso.minimize("sphere", BOX, seed=11, max_iter=20)
    python = pso.minimize(sphere, BOX, seed=11, max_iter=20)
    assert native.history == python.history
    assert native.best_value == python.best_value


def test_seeded_runs_are_reproducible_and_unseeded_ones_differ():
    a = pso.minimize(sphere, BOX, seed=5, max_iter=10, topology="random")
    b = pso.minimize(sphere, BOX, seed=5, max_iter=10, topology="random")
    assert (a.history, a.convergence, a.best_position) == (b.history, b.convergence,
                                                           b.best_position)
    c = pso.minimize(sphere, BOX, max_iter=1)
    d = pso.minimize(sphere, BOX, max_iter=1)
    assert c.history[0] != d.history[0]


def test_history_and_convergence_shapes():
    r = pso.minimize(sphere, BOX, n_particles=4, max_iter=6, seed=1)
    assert [len(r.history), len(r.history[0]), len(r.history[0][0])] == [6, 4, 3]
    assert all(a >= b for a, b in zip(r.convergence, r.convergence[1:]))
    assert r.convergence[-1] == r.best_value
    off = pso.minimize(sphere, BOX, n_particles=4, max_iter=6, seed=1, record_history=False)
    assert off.history == [] and off.convergence == []
    assert off.best_value == r.best_value and off.evaluations == r.evaluations


@pytest.mark.parametrize(
    "kwargs, element_type, whole",
    [
        ({}, float, False),
        ({"integer": True}, int, True),
        ({"binary": True}, int, True),
        ({"binary": True, "integer": True}, int, True),
        ({"var_types": ["integer", "real", "binary"]}, float, None),
        ({"var_types": ["float", "int", "bin"], "binary": True}, float, None),
    ],
)
def test_argument_types_per_space(kwargs, element_type, whole):
    seen = []
    r = pso.minimize(lambda x: seen.append(x) or sum(x), [(-2.5, 2.5)] * 3, seed=1, max_iter=3,
                     **kwargs)
    assert all(type(v) is element_type for x in seen for v in x)
    assert all(type(v) is float for v in r.best_position)
    if whole:
        assert all(v == int(v) for v in r.best_position)


def test_integer_space_rounds_the_bounds_half_away():
    seen = set()
    pso.minimize(lambda x: seen.update(x) or 0.0, [(-2.5, 2.5)], integer=True, seed=2,
                 n_particles=50, max_iter=20, bounds_handling="reinit")
    assert seen == {-3, -2, -1, 0, 1, 2, 3}


def test_binary_space_ignores_the_bound_values():
    seen = set()
    r = pso.minimize(lambda x: seen.update(x) or 0.0, [(5, -5)] * 4, binary=True, seed=2)
    assert seen == {0, 1} and len(r.best_position) == 4


def test_mixed_space_decodes_per_dimension():
    seen = []
    r = pso.minimize(lambda x: seen.append(x) or 0.0, [(0.6, 2.4), (-10, 10), (-1, 1)],
                     var_types=["integer", "binary", "real"], seed=3, n_particles=10)
    assert {x[0] for x in seen} <= {1.0, 2.0}
    assert {x[1] for x in seen} <= {0.0, 1.0}
    assert any(x[2] != round(x[2]) for x in seen)
    assert len(r.best_position) == 3


def test_mixed_space_with_single_bound_and_dim():
    r = pso.minimize(sum, (0, 1), dim=3, var_types=["real"] * 3, max_iter=1)
    assert len(r.best_position) == 3


@pytest.mark.parametrize("space", [{}, {"integer": True}, {"var_types": ["int", "real"]}])
def test_native_benchmarks_run_in_every_space(space):
    r = pso.minimize("rastrigin", [(-5.12, 5.12)] * 2, seed=8, **space)
    assert r.best_value < 1e-3 or space
    assert r.evaluations == 3030


def test_docstring_examples():
    finder = doctest.DocTestFinder()
    runner = doctest.DocTestRunner()
    for test in finder.find(corvalinth_native.minimize, "minimize",
                            globs={"pso": pso}) + finder.find(pso):
        runner.run(test)
    assert runner.failures == 0 and runner.tries >= 6


def test_module_contents_in_order():
    names = [n for n in vars(corvalinth_native) if not n.startswith("_")]
    assert names == ["minimize", "minimize_multi", "minimize_grey", "hypervolume",
                     "benchmark_info", "grey_benchmark_info", "hypervolume_contributions",
                     "PsoResult", "ParetoFront", "GreyResult", "Optimizer", "MultiOptimizer", "PanicException"]
    assert corvalinth_native.__doc__ == ""


def test_panic_exception_is_reachable_by_name():
    with pytest.raises(pso.PanicException, match="invalid bound in dimension 0: 5 > 1"):
        pso.minimize("sphere", [(5, 1)])
    assert pso.PanicException.__bases__ == (BaseException,)
    assert pso.PanicException.__name__ == "PanicException"
    assert pso.PanicException is pso.PanicException
