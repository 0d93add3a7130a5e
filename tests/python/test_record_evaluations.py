"""record_evaluations=True: every evaluation, in evaluation order, kept in the result (a failed
run's record: test_partial_results.py)."""

import pickle

import numpy as np
import pytest

import corvalinth as pso
from helpers import Driven


def sphere(x):
    # Summed left to right, as the native benchmark and NumPy (for a few columns) sum.
    return sum(v * v for v in x)


SETTINGS = {"n_particles": 6, "max_iter": 7, "seed": 9}
RUNS = {
    "native": lambda **kw: pso.minimize("sphere", [(-5, 5)] * 3, **SETTINGS, **kw),
    "python": lambda **kw: pso.minimize(sphere, [(-5, 5)] * 3, **SETTINGS, **kw),
    "integer": lambda **kw: pso.minimize(sphere, [(-5, 5)] * 2, integer=True, **SETTINGS, **kw),
    "mixed": lambda **kw: pso.minimize(sphere, [(-5, 5)] * 3, var_types=["real", "integer",
                                                                        "binary"], **SETTINGS,
                                       **kw),
    "vectorized": lambda **kw: pso.minimize(lambda X: (np.asarray(X) ** 2).sum(axis=1),
                                            [(-5, 5)] * 3, vectorized=True, **SETTINGS, **kw),
    "stagnating": lambda **kw: pso.minimize(sphere, [(-5, 5)] * 2, patience=2, tol=1.0,
                                            **SETTINGS, **kw),
}


def test_the_values_of_a_constrained_run_carry_the_penalty():
    r = pso.minimize(sphere, [(-5, 5)] * 2, constraints=[lambda x: 1 - x[0]], penalty=100.0,
                     record_evaluations=True, **SETTINGS)
    for *point, value in r.recorded_evaluations:
        excess = max(0.0, 1 - point[0])
        assert value == sphere(point) + 100.0 * (excess * excess)


@pytest.mark.parametrize("state", [(2, b"12345678" * 3), (0, b"12345678"), (1, 5), [1, b""]])
def test_a_record_that_is_no_whole_number_of_rows_is_refused(state):
    rebuild, (saved,) = RUNS["native"](record_evaluations=True).__reduce__()
    with pytest.raises((ValueError, TypeError)):
        rebuild({**saved, "recorded_evaluations": state})


def two_objectives(x):
    return [sum(v * v for v in x), sum((v - 1) * (v - 1) for v in x)]


MULTI_SETTINGS = {"n_particles": 5, "max_iter": 4, "seed": 3}
RUNS.update({
    "multi python": lambda **kw: pso.minimize_multi(two_objectives, [(-2, 2)] * 2,
                                                    **MULTI_SETTINGS, **kw),
    "multi integer": lambda **kw: pso.minimize_multi(two_objectives, [(-3, 3)] * 2, integer=True,
                                                     **MULTI_SETTINGS, **kw),
    "multi vectorized": lambda **kw: pso.minimize_multi(
        lambda X: [two_objectives(row) for row in np.asarray(X).tolist()], [(-2, 2)] * 3,
        vectorized=True, **MULTI_SETTINGS, **kw),
})


@pytest.mark.parametrize("run", list(RUNS))
def test_every_evaluation_is_a_row_of_the_point_and_its_values(run):
    recorded = RUNS[run](record_evaluations=True)
    plain = RUNS[run]()
    assert {**recorded.to_dict(), "recorded_evaluations": []} == plain.to_dict()
    multi = run.startswith("multi")
    values = two_objectives if multi else (lambda x: [sphere(x)])
    dim = len(recorded.positions[0] if multi else recorded.best_position)
    rows = recorded.evaluations_array()
    assert rows.shape == (recorded.evaluations, dim + (2 if multi else 1))
    assert rows.tolist() == recorded.recorded_evaluations
    # The reference: the objective's values at each decoded point.
    assert [row[dim:] for row in rows.tolist()] == [values(row[:dim]) for row in rows.tolist()]
    # The answer was evaluated: the best row, or every member of the front.
    evaluated = {tuple(row) for row in rows.tolist()}
    if multi:
        answers = [p + o for p, o in zip(recorded.positions, recorded.objectives, strict=True)]
    else:
        answers = [[*recorded.best_position, recorded.best_value]]
        assert rows[:, -1].min() == recorded.best_value
    assert all(tuple(answer) in evaluated for answer in answers)
    # The first rows are the starting swarm, as the history recorded it (decoded).
    if run in ("native", "python", "vectorized"):
        assert np.array_equal(rows[:6, :-1], recorded.history_array()[0])
    restored = pickle.loads(pickle.dumps(recorded))
    assert np.array_equal(restored.evaluations_array(), rows)


def sphere_rows(points):
    return [sphere(row) for row in np.asarray(points).tolist()]


@pytest.mark.parametrize("form", [{}, {"batch": True}, {"integer": True}, {"asynchronous": True}])
@pytest.mark.parametrize("pickle_after", [(), (6,), (24,)])
def test_an_optimizer_records_the_whole_run_across_checkpoints(form, pickle_after):
    settings = dict(SETTINGS, **form)
    vectorized = form.get("batch", False)
    objective = sphere_rows if vectorized else sphere
    optimizer = pso.Optimizer([(-5, 5)] * 2, record_evaluations=True, **settings)
    result = Driven(optimizer, objective).drive(pickle_after=pickle_after).optimizer.result()
    rows = result.evaluations_array()
    assert rows.shape == (result.evaluations, 3)
    assert [row[-1] for row in rows.tolist()] == [sphere(row[:-1]) for row in rows.tolist()]
    assert rows[:, -1].min() == result.best_value
    if form.get("asynchronous"):
        return  # a run of its own, not minimize's
    direct = pso.minimize(objective, [(-5, 5)] * 2, record_evaluations=True,
                          vectorized=vectorized, **SETTINGS,
                          **{k: v for k, v in form.items() if k != "batch"})
    assert np.array_equal(direct.evaluations_array(), rows)
    assert pickle.loads(pickle.dumps(result)).recorded_evaluations == rows.tolist()


def test_a_record_of_evaluations_restores_only_where_it_fits():
    rebuild, (arguments, state, violations, record) = pso.Optimizer(
        [(-5, 5)] * 2, record_evaluations=True).__reduce__()
    assert violations is None and record[0] == 0
    with pytest.raises(ValueError, match="does not fit"):
        rebuild(arguments, state, None, (4, b"\0" * 32))
    with pytest.raises(ValueError, match="without record_evaluations"):
        rebuild({**arguments, "record_evaluations": False}, state, None, record)


def test_an_empty_record_has_the_width_of_the_space_whatever_a_repair_answers():
    r = pso.minimize(sphere, [(0, 1)] * 2, repair=lambda x: [0.0] * 3, **SETTINGS)
    assert len(r.best_position) == 3
    assert r.evaluations_array().shape == (0, 3)
    assert pickle.loads(pickle.dumps(r)).evaluations_array().shape == (0, 3)
