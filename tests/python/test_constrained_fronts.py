"""Constrained minimize_multi: seeded runs against the model bit for bit, per point and vectorised,
and the front's violations against their definition.
"""

import math
import pickle
import struct

import numpy as np
import pytest

import corvalinth as pso
import reference_mopso as ref
from test_reference_mopso import SPACES, assert_same_front, bits, library_contributions


def rows(x):
    return np.atleast_2d(np.asarray(x, dtype=np.float64))


def one_or_many(x, values):
    return values if np.ndim(x) == 2 else float(values[0])


def two_anchors(x):  # objective: one row of two values per point, per row of an array
    r = rows(x)
    first = (r * r).sum(axis=1)
    second = ((r - 2.0) ** 2).sum(axis=1)
    pairs = np.column_stack([first, second])
    return pairs if np.ndim(x) == 2 else pairs[0].tolist()


def above_diagonal(x):  # feasible where x0 + x1 >= 2.2: most starting points are not
    r = rows(x)
    return one_or_many(x, 2.2 - r[:, 0] - r[:, 1])


def unknown_far_left(x):  # cannot be evaluated left of x0 = -0.5
    r = rows(x)
    return one_or_many(x, np.where(r[:, 0] < -0.5, np.nan, r[:, 0] - 2.5))


def on_plane(x):  # x2 = 0.5
    r = rows(x)
    return one_or_many(x, r[:, -1] - 0.5)


def impossible(x):  # never feasible: the archive keeps the least-violating points
    r = rows(x)
    return one_or_many(x, 10.0 - r[:, 0] * 0.0 + np.abs(r[:, 1] - 1.0))


CASES = {
    "inequalities": {"constraints": [above_diagonal, unknown_far_left]},
    "equality": {"equality_constraints": [on_plane], "equality_tol": 0.05},
    "both": {"constraints": [above_diagonal], "equality_constraints": [on_plane]},
    "infeasible": {"constraints": [impossible]},
}


def run_both(bounds, **settings):
    kwargs = {"n_particles": 8, "max_iter": 10, "archive_size": 4, "seed": 13, **settings}
    front = pso.minimize_multi(two_anchors, bounds, **kwargs)
    model = ref.mopso(two_anchors, bounds, contributions=library_contributions, **kwargs)
    assert_same_front(front, model)
    assert list(map(bits, front.violations)) == list(map(bits, model["violations"]))
    return front, model


@pytest.mark.parametrize("vectorized", [False, True])
@pytest.mark.parametrize("space", ["continuous", "integer", "mixed"])
@pytest.mark.parametrize("case", list(CASES))
@pytest.mark.parametrize("truncation", [{}, {"grid_divisions": 3},
                                        {"archive_truncation": "hypervolume"}])
def test_constrained_fronts_match_the_model(vectorized, space, case, truncation):
    bounds, flags = SPACES[space]
    front, _ = run_both(bounds, vectorized=vectorized, **CASES[case], **truncation, **flags)
    assert front.feasible is all(v == 0.0 for v in front.violations)
    # Every member shares the front's violation: the least-violating level, or 0 once feasible.
    assert len(set(front.violations)) <= 1
    if case == "infeasible":
        assert not front.feasible and front.violations[0] >= 10.0


@pytest.mark.parametrize("constraints", [[above_diagonal], []])
def test_a_feasible_front_keeps_only_feasible_members(constraints):
    front, _ = run_both([(-1.0, 3.0), (-0.5, 2.5), (0.0, 1.0)], max_iter=25,
                        constraints=constraints)
    assert front.feasible and front.violations == [0.0] * len(front.objectives)
    assert "infeasible" not in repr(front)
    for x in front.positions:
        assert all(constraint(x) <= 0.0 for constraint in constraints)


def test_violations_are_pickled_and_checked_on_rebuilding():
    front = pso.minimize_multi(two_anchors, [(-1.0, 3.0)] * 3, n_particles=6, max_iter=3, seed=1,
                               constraints=[impossible])
    assert f"infeasible, violation={front.violations[0]!r}" in repr(front)
    back = pickle.loads(pickle.dumps(front))
    assert back.violations == front.violations and back.feasible is front.feasible is False
    assert back.to_dict() == front.to_dict()
    assert front.to_dict()["violations"] == front.violations
    rebuild, (state,) = front.__reduce__()

    def packed(values):
        return struct.pack(f"<{len(values)}d", *values)

    for bad, message in (({"violations": packed([math.nan] * len(front.violations))},
                          "'violations' must be numbers >= 0"),
                         ({"violations": packed(front.violations[:-1] + [-1.0])},
                          "'violations' must be numbers >= 0"),
                         ({"violations": packed(front.violations + [0.0])},
                          "'violations' must hold one value per member"),
                         ({"feasible": True}, "'feasible' disagrees with violations")):
        with pytest.raises(ValueError, match=message):
            rebuild(dict(state, **bad))


@pytest.mark.parametrize("kwargs, error, message", [
    ({"constraints": [lambda x: 1 / 0]}, ZeroDivisionError, None),
    ({"constraints": [lambda x: "high"]}, TypeError, None),
    ({"equality_tol": -1.0}, ValueError, "equality_tol must be a finite value >= 0"),
    ({"vectorized": True, "constraints": [lambda x: np.zeros(len(x) - 1)]}, ValueError,
     "vectorized constraint must return one value per row"),
])
def test_constraint_failures_are_raised(kwargs, error, message):
    with pytest.raises(error, match=message):
        pso.minimize_multi(two_anchors, [(-1.0, 3.0)] * 2, n_particles=4, max_iter=2, seed=1,
                           **kwargs)


@pytest.mark.parametrize("vectorized", [False, True])
def test_a_recorded_constrained_run_is_the_same_run(vectorized):
    kwargs = dict(n_particles=6, max_iter=5, seed=2, vectorized=vectorized,
                  constraints=[above_diagonal])
    plain = pso.minimize_multi(two_anchors, [(-1.0, 3.0)] * 3, **kwargs)
    recorded = pso.minimize_multi(two_anchors, [(-1.0, 3.0)] * 3, record_evaluations=True,
                                  **kwargs)
    assert recorded.objectives == plain.objectives and recorded.violations == plain.violations
    assert recorded.evaluations_array().shape == (recorded.evaluations, 3 + 2)
