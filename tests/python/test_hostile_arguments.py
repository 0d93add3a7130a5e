"""Every argument of every function, replaced in turn by values of the wrong kind or size, must end
in a Python exception or a result: never a crash, a hang or a leaked C++ exception."""

import math
import pickle

import numpy as np
import pytest

import corvalinth as pso

ODD_VALUES = [
    None, True, -1, 0, 2**64, 2**70, -(2**70), 1.5, math.nan, math.inf, -math.inf, "x", "",
    b"xy", [], [1], [[1, 2]], [(1, 2), (3,)], ((0, 1),), {"a": 1}, object(), np.float64(2.0),
    np.int64(-3), np.bool_(True), np.array([]), np.array([[0.0, 1.0]]), np.zeros((2, 3)),
    (lambda *a: 1.0), [lambda x: 1.0], range(3),
]


def quick_objective(x):
    return float(sum(v * v for v in x))


def quick_vector(x):
    return [float(x[0]), -float(x[0])]


def driven(kind, value_of):
    """Builds an optimizer of `kind`, drives it to the end and pickles it on the way."""
    def drive(**kwargs):
        optimizer = kind(**kwargs)
        while not optimizer.done:
            asked = optimizer.ask()
            optimizer = pickle.loads(pickle.dumps(optimizer))
            batch = isinstance(asked, np.ndarray)
            optimizer.tell([value_of(row) for row in asked] if batch else value_of(asked))
        return optimizer.result()
    return drive


CALLS = {
    "minimize": (pso.minimize, {"objective": quick_objective, "bounds": [(-1, 1)] * 2,
                                "n_particles": 3, "max_iter": 2, "seed": 1}),
    "minimize native": (pso.minimize, {"objective": "sphere", "bounds": [(-1, 1)] * 2,
                                       "n_particles": 3, "max_iter": 2, "seed": 1}),
    "minimize_multi": (pso.minimize_multi, {"objective": lambda x: [x[0], -x[0]],
                                            "bounds": [(-1, 1)] * 2, "n_particles": 3,
                                            "max_iter": 2, "archive_size": 3, "seed": 1}),
    "minimize_grey": (pso.minimize_grey, {"objective": "grey_sphere", "bounds": [(-1, 1)] * 2,
                                          "n_particles": 3, "max_iter": 2, "seed": 1}),
    "Optimizer": (driven(pso.Optimizer, quick_objective),
                  {"bounds": [(-1, 1)] * 2, "n_particles": 3, "max_iter": 2, "seed": 1}),
    "MultiOptimizer": (driven(pso.MultiOptimizer, quick_vector),
                       {"bounds": [(-1, 1)] * 2, "n_particles": 3, "max_iter": 2,
                        "archive_size": 3, "seed": 1}),
    "hypervolume": (pso.hypervolume, {"front": [[1, 2], [2, 1]], "reference": [3, 3]}),
    "hypervolume_contributions": (pso.hypervolume_contributions,
                                  {"front": [[1, 2], [2, 1]], "reference": [3, 3]}),
    "benchmark_info": (pso.benchmark_info, {"name": "sphere"}),
    "grey_benchmark_info": (pso.grey_benchmark_info, {"name": "grey_sphere"}),
}

PARAMETERS = {
    "minimize": ["objective", "bounds", "integer", "n_particles", "max_iter", "w", "c1", "c2",
                 "velocity", "topology", "seed", "record_history", "v_max", "patience", "tol",
                 "constraints", "penalty", "binary", "max_evals", "target", "max_time",
                 "callback", "bounds_handling", "vectorized", "var_types", "dim",
                 "equality_constraints", "repair"],
    "minimize native": ["objective", "bounds", "integer", "binary", "var_types", "vectorized",
                        "callback", "dim"],
    "minimize_multi": ["objective", "bounds", "n_particles", "max_iter", "archive_size", "w",
                       "c1", "c2", "velocity", "seed", "integer", "binary", "var_types",
                       "mutation_rate", "dim", "grid_divisions", "v_max", "bounds_handling",
                       "record_history"],
    "minimize_grey": ["objective", "bounds", "max_spread", "representation", "n_particles",
                      "max_iter", "w", "c1", "c2", "velocity", "topology", "seed",
                      "record_history", "v_max", "patience", "tol", "max_evals", "target",
                      "max_time", "dim"],
    "Optimizer": ["bounds", "integer", "binary", "var_types", "dim", "n_particles", "max_iter",
                  "w", "c1", "c2", "velocity", "topology", "seed", "record_history", "v_max",
                  "patience", "tol", "max_evals", "target", "bounds_handling", "batch"],
    "MultiOptimizer": ["bounds", "n_particles", "max_iter", "archive_size", "w", "c1", "c2",
                       "velocity", "seed", "integer", "binary", "var_types", "mutation_rate",
                       "dim", "grid_divisions", "v_max", "bounds_handling", "record_history",
                       "max_evals", "x0", "turbulence", "archive_truncation",
                       "preset", "batch", "crossover_share", "swarm_selection",
                       "crossover"],
    "hypervolume": ["front", "reference"],
    "hypervolume_contributions": ["front", "reference"],
    "benchmark_info": ["name"],
    "grey_benchmark_info": ["name"],
}

def too_slow(parameter, value):
    """Budgets and sizes that are valid but would run for ages instead of failing."""
    whole = isinstance(value, (int, np.integer)) and not isinstance(value, (bool, np.bool_))
    if parameter == "max_iter" and whole and 10**6 < value < 2**64:
        return True
    return parameter in ("n_particles", "dim") and whole and 10**6 < value < 2**40


@pytest.mark.parametrize("call, parameter", [
    (call, parameter) for call, parameters in PARAMETERS.items() for parameter in parameters])
def test_odd_values_raise_or_run(call, parameter):
    function, baseline = CALLS[call]
    for value in ODD_VALUES:
        if too_slow(parameter, value):
            continue
        kwargs = dict(baseline, **{parameter: value})
        try:
            function(**kwargs)
        except (TypeError, ValueError, KeyError, OverflowError, MemoryError, ZeroDivisionError):
            pass
        except BaseException as error:  # noqa: B036 - internal errors derive from BaseException
            assert type(error).__name__ == "PanicException", (parameter, value, error)
