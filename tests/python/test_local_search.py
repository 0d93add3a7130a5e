"""The final local phase (local_search="nelder-mead"): seeded runs against the reference model bit
for bit, the budget it keeps to, and ask/tell and checkpoints inside the phase and across
restarts."""

import math

import numpy as np
import pytest
import reference_swarm as ref
from hypothesis import given, settings
from hypothesis import strategies as st
from helpers import Driven
from test_reference import assert_same_run, both
from test_restarts_and_presets import multimodal, multimodal_rows

import corvalinth as pso

BOUNDS = [(-3.0, 3.0), (-1.0, 2.0), (0.0, 4.0)]
NM = {"local_search": "nelder-mead"}


def valley(x):
    """Ill-conditioned and rotated, where a swarm alone stalls and a simplex keeps going."""
    a, b, c = (float(v) for v in x)
    return (a - 0.7) ** 2 + 1e4 * (b - a * a) ** 2 + 30.0 * (c - 1.1 - 0.3 * a) ** 2


def valley_rows(x):
    return [valley(row) for row in np.asarray(x)]


@pytest.mark.parametrize("settings", [
    {"max_evals": 300},
    {"max_iter": 30},
    {"max_evals": 300, "vectorized": True},
    {"max_evals": 300, "bounds_handling": "reflect", "restart_patience": 3},
    {"max_evals": 400, "var_types": ["float", "int", "float"]},
    {"max_evals": 250, "integer": True},
    {"max_evals": 300, "local_search_share": 1.0, "vectorized": True},
    {"max_evals": 300, "local_search_share": 0.7, "patience": 25},
    {"max_evals": 300, "target": 1e-4},
    {"max_evals": 300, "callback": lambda i, best: i < 70},
    {"max_evals": 301, "n_particles": 7, "max_iter": 30},
    {"max_evals": 300, "topology": "ring", "velocity": "fips"},
    {"max_evals": 300, "constraints": [lambda x: x[0] + x[1] - 0.5], "penalty": 1e3},
    # the best at the box's corner: the first simplex steps inward
    {"max_evals": 200, "x0": [[3.0, 2.0, 4.0]], "local_search_share": 0.9},
])
def test_local_phase_follows_the_model(settings):
    objective = valley_rows if settings.get("vectorized") else valley
    got = both(objective, BOUNDS, **{"n_particles": 5, "seed": 7, **NM, **settings})
    assert got.evaluations <= settings.get("max_evals", math.inf)


@settings(deadline=None, max_examples=60)
@given(n_particles=st.integers(1, 6), dim=st.integers(1, 4), max_evals=st.integers(1, 120),
       max_iter=st.integers(0, 40), share=st.floats(0.01, 1.0), seed=st.integers(0, 2**32),
       vectorized=st.booleans())
def test_any_budget_split_follows_the_model_and_never_overshoots(n_particles, dim, max_evals,
                                                                 max_iter, share, seed,
                                                                 vectorized):
    def objective(x):
        rows = np.atleast_2d(np.asarray(x, dtype=float))
        values = [float(np.sum((r - 0.4) ** 2) + 2.0 * math.sin(3.0 * r[0])) for r in rows]
        return values if vectorized else values[0]

    run = dict(n_particles=n_particles, max_evals=max_evals, max_iter=max_iter, seed=seed,
               local_search_share=share, vectorized=vectorized, **NM)
    got = both(objective, [(-2.0, 2.0)] * dim, **run)
    budget, _ = ref.local_phase_plan(n_particles, max_iter, max_evals, share)
    if got.evaluations != n_particles * (len(got.convergence) + 1):
        # the phase ran (the swarm alone counts n per pass): it ends exactly at the budget
        assert got.evaluations == budget


def test_the_result_is_the_best_point_ever_evaluated():
    local = pso.minimize(valley, BOUNDS, seed=3, max_evals=600, preset="robust",
                         record_evaluations=True, **NM)
    values = local.evaluations_array()[:, -1]
    assert len(values) == 600 and local.best_value == values.min()
    assert local.best_value == min(local.convergence) == local.convergence[-1]
    assert local.best_value == valley(local.best_position)
    # the particles rest during the phase: its history repeats the swarm's last positions
    assert np.array_equal(local.history[-1], local.history[-2])


def below_the_diagonal(x):
    """A constraint on one point or on rows, feasible where x0 + x1 <= 0.5."""
    r = np.atleast_2d(np.asarray(x, dtype=float))
    values = r[:, 0] + r[:, 1] - 0.5
    return values if np.ndim(x) == 2 else float(values[0])


# Checkpoints inside restarts and the local phase: whatever step the optimizer is pickled after
# (0: never), it runs as the model's minimize.
RESUMABLE = {
    "local phase": (valley, valley_rows, {}),
    "local phase, penalty": (valley, valley_rows, {"constraint_handling": "penalty"}),
    "local phase, feasibility": (valley, valley_rows, {"constraint_handling": "feasibility"}),
    "robust: restarts and the local phase": (multimodal, multimodal_rows, {
        "seed": 3, "n_particles": 5, "max_evals": 400, "restart_patience": 2,
        "preset": "robust"}),
}


@pytest.mark.parametrize("case", list(RESUMABLE))
@pytest.mark.parametrize("batch", [False, True])
@pytest.mark.parametrize("pause", [0, 35, 150, 263, 500])
def test_an_optimizer_resumes_in_restarts_and_the_phase_as_the_model_runs(case, batch, pause):
    point, rows, settings = RESUMABLE[case]
    if "preset" not in settings:
        settings = dict(seed=9, n_particles=6, max_evals=330, local_search_share=0.4, penalty=1e3,
                        **NM, **settings)
    constraints = [below_the_diagonal] if "constraint_handling" in settings else []
    objective = rows if batch else point
    driven = Driven(pso.Optimizer(BOUNDS, batch=batch, **settings), objective, constraints)
    got = driven.drive(pickle_after=(pause,)).optimizer.result()
    want = ref.minimize(objective, BOUNDS, vectorized=batch, constraints=constraints, **settings)
    assert_same_run(got, want)
    assert got.violation == want.violation


def test_a_vectorised_objective_receives_the_rounds_points():
    shapes = []

    def rows(x):
        shapes.append(np.shape(x))
        return valley_rows(x)

    pso.minimize(rows, BOUNDS, seed=1, n_particles=4, max_evals=60, vectorized=True,
                 local_search_share=0.5, **NM)
    swarm = [s for s in shapes if s == (4, 3)]
    phase = shapes[len(swarm):]
    assert phase[0] == (3, 3) and {s[0] for s in phase} <= {1, 3}
    assert sum(s[0] for s in shapes) == 60


def test_an_asynchronous_optimizer_refuses_the_phase():
    with pytest.raises(ValueError, match="cannot be combined with a local phase"):
        pso.Optimizer(BOUNDS, asynchronous=True, **NM)
