"""record_evaluations=True: every evaluation, in evaluation order, kept in the result."""

import pickle

import numpy as np
import pytest

import corvalinth as pso


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


@pytest.mark.parametrize("run", list(RUNS))
def test_every_evaluation_is_a_row_of_the_point_and_its_value(run):
    recorded = RUNS[run](record_evaluations=True)
    plain = RUNS[run]()
    assert {**recorded.to_dict(), "recorded_evaluations": []} == plain.to_dict()
    rows = recorded.evaluations_array()
    assert rows.shape == (recorded.evaluations, len(recorded.best_position) + 1)
    assert rows.tolist() == recorded.recorded_evaluations
    # The reference: the objective's value at each decoded point, and the best is the least.
    assert [row[-1] for row in rows.tolist()] == [sphere(row[:-1]) for row in rows.tolist()]
    assert rows[:, -1].min() == recorded.best_value
    best = rows[np.argmin(rows[:, -1]), :-1]
    assert best.tolist() == recorded.best_position
    # The first rows are the starting swarm, as the history recorded it (decoded).
    if run in ("native", "python", "vectorized"):
        assert np.array_equal(rows[:6, :-1], recorded.history_array()[0])
    restored = pickle.loads(pickle.dumps(recorded))
    assert np.array_equal(restored.evaluations_array(), rows)


def test_the_values_of_a_constrained_run_carry_the_penalty():
    r = pso.minimize(sphere, [(-5, 5)] * 2, constraints=[lambda x: 1 - x[0]], penalty=100.0,
                     record_evaluations=True, **SETTINGS)
    for *point, value in r.recorded_evaluations:
        excess = max(0.0, 1 - point[0])
        assert value == sphere(point) + 100.0 * (excess * excess)


def test_a_failing_run_records_the_evaluations_that_completed():
    calls = []

    def objective(x):
        if len(calls) == 20:
            raise RuntimeError
        calls.append(list(x))
        return sphere(x)

    with pytest.raises(RuntimeError) as caught:
        pso.minimize(objective, [(-5, 5)] * 2, record_evaluations=True, **SETTINGS)
    rows = caught.value.partial_result.evaluations_array()
    assert rows[:, :-1].tolist() == calls


@pytest.mark.parametrize("state", [(2, b"12345678" * 3), (0, b"12345678"), (1, 5), [1, b""]])
def test_a_record_that_is_no_whole_number_of_rows_is_refused(state):
    rebuild, (saved,) = RUNS["native"](record_evaluations=True).__reduce__()
    with pytest.raises((ValueError, TypeError)):
        rebuild({**saved, "recorded_evaluations": state})
