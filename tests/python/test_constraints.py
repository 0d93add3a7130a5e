"""Constrained runs: the penalised values and the reported violation, per particle and vectorised.

Seeded runs are compared with the reference model bit for bit; the reported violation is checked
against its definition at the reported position.
"""

import math
import pickle
import re

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import corvalinth as pso
import reference_swarm as ref
from helpers import Driven
from test_reference import RESTLESS, SPACES, assert_same_run, same_double


# Each works on one point (a list) and on an (n, dim) array alike, one value per row.
def rows(x):
    return np.atleast_2d(np.asarray(x, dtype=np.float64))


def one_or_many(x, values):
    return values if np.ndim(x) == 2 else float(values[0])


def diagonal(x):  # feasible below the line x0 + x1 = 0.5
    r = rows(x)
    return one_or_many(x, r[:, 0] + r[:, 1] - 0.5)


def ring(x):  # feasible inside the circle of radius 0.8
    r = rows(x)
    return one_or_many(x, r[:, 0] * r[:, 0] + r[:, 3] * r[:, 3] - 0.64)


def balance(x):  # x0 = x3
    r = rows(x)
    return one_or_many(x, r[:, 0] - r[:, 3])


def tilted(x):
    r = rows(x)
    return one_or_many(x, (r * np.arange(1, r.shape[1] + 1)).sum(axis=1) - r.sum(axis=1) * 0.3)


def halve_first(x):  # repair: pull the first coordinate halfway to zero
    r = rows(x).copy()
    r[:, 0] = r[:, 0] * 0.5
    return r if np.ndim(x) == 2 else r[0].tolist()


def both(objective=tilted, **kwargs):
    got = pso.minimize(objective, **kwargs)
    want = ref.minimize(objective, **kwargs)
    assert_same_run(got, want)
    assert same_double(got.violation, want.violation), (got.violation, want.violation)
    assert got.feasible is want.feasible
    return got


@pytest.mark.parametrize("handling", ["penalty", "feasibility"])
@pytest.mark.parametrize("space", ["continuous", "integer", "mixed"])
@pytest.mark.parametrize("vectorized", [False, True])
@pytest.mark.parametrize("constraints, equalities, repair", [
    ([diagonal, ring], [], None),
    ([], [balance], None),
    ([diagonal], [balance], halve_first),
    ([], [], halve_first),
])
def test_constrained_runs_match_the_model(handling, space, vectorized, constraints, equalities,
                                          repair):
    extra, bounds = SPACES[space]
    both(bounds=bounds, n_particles=6, max_iter=8, seed=23, vectorized=vectorized,
         constraints=constraints, equality_constraints=equalities, repair=repair,
         penalty=50.0, equality_tol=0.05, bounds_handling="reflect", constraint_handling=handling,
         **extra, **RESTLESS)


def far_right_unknown(x):  # a constraint that cannot be evaluated right of x0 = 0.6
    r = rows(x)
    return one_or_many(x, np.where(r[:, 0] > 0.6, np.nan, r[:, 0] - r[:, 3] - 0.2))


def coarse_tilted(x):  # ties of value, and NaN where x3 is large
    r = rows(x)
    values = np.round(np.asarray(tilted(r)) * 4.0) / 4.0
    return one_or_many(x, np.where(r[:, 3] > 2.0, np.nan, values))


# Every place a ranked run compares points: topologies, informants, the stop tests, restarts,
# the local phase's simplex and its stop tests.
@pytest.mark.parametrize("vectorized", [False, True])
@pytest.mark.parametrize("settings", [
    {"topology": "ring", "patience": 4, "tol": 1e-3},
    {"topology": "vonneumann", "target": 0.5},
    {"restart_patience": 2, "restart_tol": 1e-2, "restart_spread": 0.5},
    {"velocity": "fips", "topology": "random", "patience": 6},
    {"preset": "robust", "max_evals": 150},
    {"local_search": "nelder-mead", "max_evals": 170, "local_search_share": 0.8},
    {"local_search": "nelder-mead", "local_search_share": 0.7, "patience": 9, "tol": 1e-2},
    {"local_search": "nelder-mead", "local_search_share": 0.9, "target": 0.0},
])
def test_runs_ranked_by_feasibility_match_the_model(vectorized, settings):
    _, bounds = SPACES["continuous"]
    both(coarse_tilted, bounds=bounds, n_particles=7, max_iter=25, seed=5,
         vectorized=vectorized, constraints=[diagonal, far_right_unknown],
         equality_constraints=[balance], equality_tol=0.05, constraint_handling="feasibility",
         **settings)


UNKNOWN_HANDLING = "unknown constraint_handling: 'deb'. Available: penalty, feasibility"


@pytest.mark.parametrize("make", [
    lambda **kw: pso.minimize(tilted, [(-1, 1)] * 2, constraints=[diagonal], **kw),
    lambda **kw: pso.Optimizer([(-1, 1)] * 2, **kw),
])
def test_an_unknown_constraint_handling_is_refused(make):
    with pytest.raises(ValueError, match=re.escape(UNKNOWN_HANDLING)):
        make(constraint_handling="deb")


@settings(max_examples=25, deadline=None)
@given(offset=st.floats(-2.0, 2.0), target=st.floats(-1.0, 1.0), tol=st.floats(0.0, 0.5),
       vectorized=st.booleans())
def test_reported_violation_follows_its_definition(offset, target, tol, vectorized):
    def g(x):
        r = rows(x)
        return one_or_many(x, r[:, 0] - offset)

    def h(x):
        r = rows(x)
        return one_or_many(x, r[:, 1] - target)

    r = pso.minimize(tilted, [(-1, 1)] * 2, n_particles=5, max_iter=3, seed=1,
                     vectorized=vectorized, constraints=[g], equality_constraints=[h],
                     equality_tol=tol, record_history=False)
    x = r.best_position
    want = max(0.0, x[0] - offset) + max(0.0, abs(x[1] - target) - tol)
    assert same_double(r.violation, want)
    assert r.feasible is (want == 0.0)


@pytest.mark.parametrize("kwargs, violation", [
    ({}, 0.0),
    ({"vectorized": True}, 0.0),
    ({"constraints": [lambda x: -1.0], "equality_constraints": [lambda x: 0.0]}, 0.0),
    ({"constraints": [lambda x: -1.0]}, 0.0),
    ({"constraints": [lambda x: 1.25]}, 1.25),
    ({"constraints": [lambda x: 2.5]}, 2.5),
    ({"constraints": [lambda x: math.nan]}, math.inf),  # a NaN constraint is never feasible
])
def test_the_result_carries_its_violation(kwargs, violation):
    r = pso.minimize(tilted, [(-1, 1)] * 2, n_particles=3, max_iter=2, seed=1, **kwargs)
    assert r.violation == violation and r.feasible is (violation == 0.0)
    assert ("infeasible" in repr(r)) is (violation != 0.0)
    if 0.0 < violation < math.inf:
        assert repr(violation) in repr(r)
    assert (r.to_dict()["violation"], r.to_dict()["feasible"]) == (violation, violation == 0.0)
    back = pickle.loads(pickle.dumps(r))
    assert (back.violation, back.feasible) == (violation, violation == 0.0)
    assert back.to_dict() == r.to_dict()


@pytest.mark.parametrize("violation", [-1.0, math.nan, "1"])
def test_a_rebuilt_state_with_a_bad_violation_is_refused(violation):
    r = pso.minimize(tilted, [(-1, 1)] * 2, n_particles=3, max_iter=1, seed=1)
    rebuild, (state,) = r.__reduce__()
    state = dict(state, violation=violation)
    with pytest.raises((TypeError, ValueError), match="violation"):
        rebuild(state)


def short_answer(x):
    return np.zeros(len(x) - 1)


@pytest.mark.parametrize("kwargs, error, message", [
    ({"constraints": [short_answer]}, ValueError, "vectorized constraint must return one value"),
    ({"equality_constraints": [short_answer]}, ValueError, "vectorized constraint must return"),
    ({"repair": lambda x: x[:-1]}, ValueError, r"repair must return an array of shape \(n, dim\)"),
    ({"repair": lambda x: x[:, :1]}, ValueError, r"repair must return an array of shape"),
    ({"repair": lambda x: "no"}, TypeError, None),
    ({"constraints": [lambda x: 1 / 0]}, ZeroDivisionError, None),
])
def test_vectorised_constraint_failures_are_raised(kwargs, error, message):
    with pytest.raises(error, match=message):
        pso.minimize(tilted, [(-1, 1)] * 2, n_particles=4, max_iter=2, seed=1, vectorized=True,
                     **kwargs)


@pytest.mark.parametrize("tol", [-1e-9, math.nan, math.inf])
def test_equality_tol_must_be_finite_and_not_negative(tol):
    with pytest.raises(ValueError, match="equality_tol must be a finite value >= 0"):
        pso.minimize(tilted, [(-1, 1)] * 2, equality_tol=tol)


def test_a_vectorised_repair_that_changes_its_argument_in_place_is_seen():
    def clip_in_place(x):
        np.clip(x, -0.1, 0.1, out=x)
        return x

    r = pso.minimize(tilted, [(-1, 1)] * 3, n_particles=5, max_iter=4, seed=2, vectorized=True,
                     repair=clip_in_place)
    assert all(-0.1 <= v <= 0.1 for v in r.best_position)


@pytest.mark.parametrize("space", ["continuous", "integer", "mixed"])
@pytest.mark.parametrize("batch", [False, True])
@pytest.mark.parametrize("constraints, equalities", [
    ([diagonal, ring], []),
    ([diagonal], [balance]),
    ([], [balance]),
])
# pickle_after counts asks and tells: step 5 is an ask waiting for its tell.
@pytest.mark.parametrize("pickle_after, restarts", [((), {}), ((5, 18, 28), {}),
                                                    ((), {"restart_patience": 1})])
@pytest.mark.parametrize("handling", ["penalty", "feasibility"])
def test_an_optimizer_told_constraint_values_runs_as_minimize(space, batch, constraints,
                                                              equalities, pickle_after, restarts,
                                                              handling):
    extra, bounds = SPACES[space]
    settings = dict(n_particles=6, max_iter=8, seed=31, penalty=40.0, equality_tol=0.02,
                    constraint_handling=handling, **restarts, **extra, **RESTLESS)
    want = pso.minimize(tilted, bounds, vectorized=batch, constraints=constraints,
                        equality_constraints=equalities, **settings)
    driven = Driven(pso.Optimizer(bounds, batch=batch, **settings), tilted, constraints,
                    equalities)
    got = driven.drive(pickle_after=pickle_after).optimizer.result()
    assert got.to_dict() == want.to_dict() or (
        same_double(got.best_value, want.best_value)
        and got.best_position == want.best_position and got.history == want.history)
    assert same_double(got.violation, want.violation)
    assert got.feasible is want.feasible


@pytest.mark.parametrize("batch, kwargs, message", [
    (True, {"constraints": np.zeros((5, 1))}, "one row of constraints values per particle"),
    (True, {"equality_constraints": [[0.0]] * 7},
     "one row of equality_constraints values per particle"),
    (False, {"constraints": "1"}, "constraints must be numbers"),
    (False, {"penalty": 1.0}, "unexpected keyword argument 'penalty'"),
])
def test_refused_constraint_values_change_nothing(batch, kwargs, message):
    opt = pso.Optimizer([(-1, 1)] * 2, n_particles=6, max_iter=2, seed=1, batch=batch)
    x = opt.ask()
    with pytest.raises((TypeError, ValueError), match=message):
        opt.tell(tilted(x), **kwargs)
    assert opt.evaluations == 0
    opt.tell(tilted(x))
    assert opt.evaluations == (6 if batch else 1)


@pytest.mark.parametrize("violations, error", [
    (b"\0" * 8, "the violations do not fit the swarm"),   # one double where seven are saved
    ("text", "bytes of violations"),
])
def test_damaged_saved_violations_are_refused(violations, error):
    opt = pso.Optimizer([(-1, 1)] * 2, n_particles=6, max_iter=3, seed=1)
    opt.tell(tilted(opt.ask()), constraints=[2.0])
    restore, (arguments, state, saved) = opt.__reduce__()
    assert len(saved) == 8 * 7
    with pytest.raises((TypeError, ValueError), match=error):
        restore(arguments, state, violations)


# The answer ranks first among every evaluated point, the local phase's included.
@pytest.mark.parametrize("local", [{}, {"local_search": "nelder-mead", "local_search_share": 0.6}])
@pytest.mark.parametrize("vectorized", [False, True])
@pytest.mark.parametrize("seed", [3, 4])
def test_ranked_runs_record_and_report_unpenalised_values(local, vectorized, seed):
    r = pso.minimize(tilted, [(-1, 1)] * 4, n_particles=5, max_iter=8, seed=seed,
                     vectorized=vectorized, constraints=[diagonal], penalty=1e9,
                     constraint_handling="feasibility", record_evaluations=True, **local)
    rows_seen = r.evaluations_array()
    assert np.array_equal(rows_seen[:, -1], np.asarray(tilted(rows_seen[:, :-1])))
    assert r.best_value == r.convergence[-1]
    ranks = zip(np.maximum(0.0, diagonal(rows_seen[:, :-1])), rows_seen[:, -1])
    assert (r.violation, r.best_value) == min(ranks)
