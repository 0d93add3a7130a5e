"""Restarts of a stagnant swarm and preset="robust": seeded runs against the reference model, bit
for bit, what the preset promises a caller (the budget bounds the run, explicit settings win), and
the settings of restarts, the local phase and presets that are refused. Checkpoints across
restarts: test_local_search.py."""

import numpy as np
import pytest

import corvalinth as pso
import reference_swarm as ref
from test_reference import assert_same_run, both, tilted

BOUNDS = [(-3.0, 3.0), (-1.0, 2.0), (0.0, 4.0)]


def multimodal(x):
    return sum(v * v - 2.0 * np.cos(3.0 * v) for v in x)


def multimodal_rows(x):
    return np.sum(x * x - 2.0 * np.cos(3.0 * x), axis=1)


@pytest.mark.parametrize("topology", ["global", "ring", "random"])
@pytest.mark.parametrize("velocity", ["inertia", "fips"])
@pytest.mark.parametrize("restart_patience, restart_tol, restart_spread",
                         [(1, 0.0, 1.0), (2, 0.0, 0.25), (3, 0.5, 1e-3)])
@pytest.mark.parametrize("policy", ["clamp", "reflect", "reinit"])
def test_restarts_follow_the_model(topology, velocity, restart_patience, restart_tol,
                                   restart_spread, policy):
    both(multimodal, BOUNDS, n_particles=6, max_iter=40, seed=4, topology=topology,
         velocity=velocity, bounds_handling=policy, restart_patience=restart_patience,
         restart_tol=restart_tol, restart_spread=restart_spread)


@pytest.mark.parametrize("settings", [
    {"integer": True},
    {"var_types": ["float", "int", "float"]},
    {"vectorized": True},
    {"patience": 6, "target": -5.0},
    {"max_evals": 97, "x0": [[0.5, 0.5, 0.5]], "restart_spread": 0.5},
    {"callback": lambda i, best: i < 25},
])
def test_restarts_in_every_space_and_loop(settings):
    objective = multimodal_rows if settings.get("vectorized") else multimodal
    got = both(objective, BOUNDS, n_particles=5, max_iter=60, seed=11, restart_patience=2,
               **settings)
    # the result keeps the best ever seen, whatever the restarted swarm holds
    assert got.best_value == min(got.convergence)


def test_restarts_happen_and_keep_the_best_ever():
    plain = pso.minimize(tilted, BOUNDS, n_particles=4, max_iter=80, seed=2)
    restarted = pso.minimize(tilted, BOUNDS, n_particles=4, max_iter=80, seed=2,
                             restart_patience=1)
    assert not np.array_equal(plain.history, restarted.history)
    # the global best never gets worse, so the trace is monotone across restarts
    assert np.all(np.diff(restarted.convergence) <= 0)


@pytest.mark.parametrize("given", [
    {},
    {"max_evals": 450},
    {"max_evals": 450, "max_iter": 5},
    {"max_evals": 300, "n_particles": 7, "bounds_handling": "wrap", "restart_patience": 3,
     "w": 0.5, "c1": 2.0},
    {"max_evals": 300, "vectorized": True},
    # defaults passed explicitly are the caller's: the preset leaves them
    {"max_evals": 900, "max_iter": 100, "n_particles": 30, "w": 0.729, "c1": 1.49445,
     "bounds_handling": "clamp", "restart_patience": 0},
])
def test_robust_preset_is_its_settings_spelled_out(given):
    objective = multimodal_rows if given.get("vectorized") else multimodal
    got = pso.minimize(objective, BOUNDS, seed=5, preset="robust", **given)
    want = ref.minimize(objective, BOUNDS, seed=5, preset="robust", **given)
    assert_same_run(got, want)


def test_a_budget_bounds_a_robust_run_not_the_default_iteration_count():
    result = pso.minimize(multimodal, BOUNDS, seed=1, max_evals=20_000, preset="robust",
                          record_history=False)
    assert result.stop_reason == "max_evaluations"
    assert result.evaluations >= 20_000
    timed = pso.minimize("sphere", BOUNDS, seed=1, max_time=0.05, preset="robust",
                         record_history=False)
    assert timed.stop_reason == "max_time"


@pytest.mark.parametrize("front_end", [lambda **kw: pso.minimize("sphere", BOUNDS, **kw),
                                       lambda **kw: pso.Optimizer(BOUNDS, **kw)])
@pytest.mark.parametrize("settings, message", [
    ({"preset": "fast"}, "unknown preset: 'fast'"),
    ({"restart_spread": 0.0}, r"restart_spread must be in \(0, 1\]"),
    ({"restart_spread": 1.5, "preset": "robust"}, "restart_spread must be"),
    ({"restart_spread": float("nan")}, "restart_spread must be"),
    ({"local_search": "powell"}, "unknown local_search: 'powell' \\(expected 'nelder-mead'\\)"),
    ({"local_search_share": 0.0, "local_search": "nelder-mead"},
     r"local_search_share must be in \(0, 1\]"),
    ({"local_search_share": float("nan")}, "local_search_share must be"),
    ({"local_search_share": 1.5}, "local_search_share must be"),
])
def test_bad_restart_local_phase_and_preset_settings_are_refused(front_end, settings, message):
    with pytest.raises(ValueError, match=message):
        front_end(**settings)
