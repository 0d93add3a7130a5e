"""A run ended by an exception hands back what it found: `exc.partial_result`."""

import _thread
import math
import pickle
import threading

import numpy as np
import pytest

import corvalinth as pso


class Failure(Exception):
    pass


def failing_at(call, values=None):
    """A sphere that records every value it returns and raises on its `call`-th call (from 1)."""
    seen = [] if values is None else values

    def objective(x):
        if len(seen) + 1 == call:
            raise Failure
        v = math.fsum(t * t for t in x)
        seen.append(v)
        return v

    return objective, seen


@pytest.mark.parametrize("settings", [{}, {"integer": True}, {"record_evaluations": True},
                                      {"restart_patience": 1, "restart_tol": 1e9}])
@pytest.mark.parametrize("call", [1, 3, 10, 11, 47, 200])
def test_a_failing_objective_hands_back_the_best_it_returned(call, settings):
    # With a restart after every iteration, the personal bests are forgotten again and again:
    # the best ever seen is what the partial result holds.
    objective, seen = failing_at(call)
    with pytest.raises(Failure) as caught:
        pso.minimize(objective, [(-5, 5)] * 3, n_particles=10, seed=7, **settings)
    assert type(caught.value) is Failure and caught.value.args == ()  # as raised
    r = caught.value.partial_result
    assert (r.stop_reason, r.success, r.evaluations) == ("error", False, call)
    assert r.best_value == (min(seen) if seen else math.inf)
    if seen:
        assert math.fsum(t * t for t in r.best_position) == r.best_value
    assert r.iterations == len(r.convergence) == max(0, (call - 1) // 10 - 1)
    if settings.get("record_evaluations"):  # the record holds the evaluations that completed
        rows = r.evaluations_array().tolist()
        assert [row[-1] for row in rows] == [math.fsum(t * t for t in row[:-1]) for row in rows]
        assert [row[-1] for row in rows] == seen
    restored = pickle.loads(pickle.dumps(r))
    assert restored.to_dict() == r.to_dict()


@pytest.mark.parametrize("batch", [1, 2, 6])
def test_a_failing_vectorised_objective_hands_back_the_best_of_whole_batches(batch):
    seen = []

    def objective(points):
        if len(seen) + 1 == batch:
            raise Failure
        values = (np.asarray(points) ** 2).sum(axis=1)
        seen.append(values)
        return values

    with pytest.raises(Failure) as caught:
        pso.minimize(objective, [(-5, 5)] * 2, n_particles=8, seed=2, vectorized=True)
    r = caught.value.partial_result
    assert r.stop_reason == "error"
    assert r.best_value == (min(v.min() for v in seen) if seen else math.inf)


def test_ctrl_c_in_the_middle_of_a_python_run_hands_back_the_best_seen():
    seen = []

    def objective(x):
        if len(seen) == 300:
            _thread.interrupt_main()
        v = math.fsum(t * t for t in x)
        seen.append(v)
        return v

    with pytest.raises(KeyboardInterrupt) as caught:
        pso.minimize(objective, [(-5, 5)] * 2, seed=1, max_iter=10**6)
    r = caught.value.partial_result
    assert r.stop_reason == "interrupted" and not r.success
    # The interrupt may land after the last value was recorded but before it was returned.
    assert min(seen) <= r.best_value <= min(seen[:-1])
    assert r.evaluations in (len(seen), len(seen) + 1)


@pytest.mark.parametrize("front_end", ["minimize", "minimize_grey"])
def test_ctrl_c_during_a_native_run_hands_back_the_best_so_far(front_end):
    run = {"minimize": lambda: pso.minimize("sphere", [(-5, 5)] * 20, max_iter=10**9, seed=1),
           "minimize_grey": lambda: pso.minimize_grey("grey_sphere", [(-5, 5)] * 20,
                                                      max_iter=10**9, seed=1)}[front_end]
    threading.Timer(0.2, _thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt) as caught:
        run()
    r = caught.value.partial_result
    assert r.stop_reason == "interrupted" and r.evaluations > 0
    assert r.convergence and r.best_value <= r.convergence[-1]
    assert pickle.loads(pickle.dumps(r)).stop_reason == "interrupted"


def test_a_failing_grey_objective_hands_back_the_best_it_returned():
    seen = []

    def objective(greys):
        if len(seen) == 25:
            raise Failure
        seen.append(sum(lo * lo + hi * hi for lo, hi in greys))
        return seen[-1]

    with pytest.raises(Failure) as caught:
        pso.minimize_grey(objective, [(-2, 2)] * 2, n_particles=10, seed=3)
    r = caught.value.partial_result
    assert (r.stop_reason, r.best_value) == ("error", min(seen))
    assert pickle.loads(pickle.dumps(r)).to_dict() == r.to_dict()


@pytest.mark.parametrize("vectorized", [False, True])
@pytest.mark.parametrize("call", [4, 23, 61])
def test_a_failing_multi_objective_hands_back_the_front_of_what_it_returned(call, vectorized):
    seen = []

    def vector(x):
        return [x[0] ** 2, (x[0] - 1) ** 2 + x[1] ** 2]

    def objective(x):
        if len(seen) + 1 == call:
            raise Failure
        seen.append(vector(x))
        return seen[-1]

    def batch(points):
        return [objective(row) for row in np.asarray(points).tolist()]

    with pytest.raises(Failure) as caught:
        pso.minimize_multi(batch if vectorized else objective, [(-2, 2)] * 2, n_particles=10,
                           seed=4, vectorized=vectorized)
    front = caught.value.partial_result
    assert front.stop_reason == "error"
    taken = seen if not vectorized else seen[:len(seen) - len(seen) % 10]
    assert all(v in taken for v in front.objectives)
    for v in taken:  # nothing taken dominates a member
        assert not any(all(a <= b for a, b in zip(v, m)) and v != m for m in front.objectives)
    assert pickle.loads(pickle.dumps(front)).objectives == front.objectives

