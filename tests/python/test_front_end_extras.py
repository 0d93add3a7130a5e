"""Warm starts, vectorised multi-objective and grey objectives, and callbacks: what their
arguments may be, what a bad one raises, and how user code that fails ends the run."""

import concurrent.futures
import math

import numpy as np
import pytest

import corvalinth as pso


def sphere(x):
    return sum(v * v for v in x)


def two_targets(x):
    return [sum((v - 1.0) ** 2 for v in x), sum((v + 1.0) ** 2 for v in x)]


def two_targets_rows(matrix):
    return np.stack([((matrix - 1.0) ** 2).sum(axis=1), ((matrix + 1.0) ** 2).sum(axis=1)], axis=1)


def grey_width(greys):
    return sum(lo * lo + (hi - lo) for lo, hi in greys)


BOUNDS = [(-2.0, 2.0)] * 3
FRONT_ENDS = {
    "minimize": lambda **kw: pso.minimize(sphere, BOUNDS, n_particles=4, max_iter=3, seed=1, **kw),
    "minimize_multi": lambda **kw: pso.minimize_multi(two_targets, BOUNDS, n_particles=4,
                                                      max_iter=3, seed=1, **kw),
}


@pytest.mark.parametrize("front_end", FRONT_ENDS)
@pytest.mark.parametrize("x0, message", [
    ([0.0, 0.0], "x0 point 0 has 2 values but the problem has 3 dimensions"),
    ([[0.0] * 3, [0.0, 3.0, 0.0]], "x0 point 1 is outside the bounds in dimension 1: 3 not in"),
    ([0.0, math.nan, 0.0], "x0 point 0 is outside the bounds in dimension 1: NaN"),
    ([[0.0] * 3] * 5, "x0 has 5 points but the swarm has 4 particles"),
    ([], "x0 must hold at least one point"),
    (3.0, "x0 must be a point"),
    ("abc", "x0 must be a point"),
    ([[0.0] * 3, ["a", 0.0, 0.0]], "x0 point 1 is not a sequence of numbers"),
])
def test_bad_warm_starts_are_value_errors_naming_x0(front_end, x0, message):
    with pytest.raises(ValueError, match="^" + message.replace("(", r"\(").replace("[", r"\[")):
        FRONT_ENDS[front_end](x0=x0)


@pytest.mark.parametrize("x0, message", [
    ([(0.0, 0.5)], "x0 point 0 has 1 values but the problem has 2 grey variables"),
    ([(0.0, 2.0), (0.0, 0.0)], "x0 point 0 variable 0 is outside the bounds"),
    ([(0.5, 0.0), (0.0, 0.0)], "x0 point 0 variable 0 is outside the bounds"),  # upper < lower
    ([(0.0, 0.1), 1.0], "x0 point 0 variable 1 is not a pair of numbers"),
])
def test_bad_grey_warm_starts_are_value_errors_naming_x0(x0, message):
    with pytest.raises(ValueError, match="^" + message.replace("(", r"\(")):
        pso.minimize_grey(grey_width, (-1.0, 1.0), dim=2, n_particles=3, max_iter=2, seed=1,
                          x0=x0)


@pytest.mark.parametrize("objective", [sphere, "sphere"])
@pytest.mark.parametrize("integer", [False, True])
def test_a_run_started_at_the_optimum_reports_it(objective, integer):
    result = pso.minimize(objective, [(-5.0, 5.0)] * 4, n_particles=10, max_iter=20, seed=3,
                          integer=integer, x0=[0.0] * 4)
    assert result.best_value == 0.0
    assert result.best_position == [0.0] * 4


def test_warm_starts_of_the_other_front_ends_are_their_first_particles():
    front = pso.minimize_multi(two_targets, BOUNDS, n_particles=6, max_iter=0, seed=2,
                               x0=[[1.0] * 3, [-1.0] * 3])
    assert [1.0] * 3 in front.positions and [-1.0] * 3 in front.positions
    assert [0.0, 12.0] in front.objectives and [12.0, 0.0] in front.objectives
    grey = pso.minimize_grey(grey_width, (-1.0, 1.0), dim=2, n_particles=5, max_iter=3, seed=1,
                             x0=[(0.0, 0.0), (0.0, 0.0)])
    assert grey.best_value == 0.0 and grey.best_position == [(0.0, 0.0), (0.0, 0.0)]


@pytest.mark.parametrize("answer, message", [
    (lambda m: two_targets_rows(m)[:-1], "vectorized objective returned 3 rows for 4 particles"),
    (lambda m: two_targets_rows(m)[:, 0], "vectorized objective must return an (n_particles, "
                                          "n_objectives) array; row 0 is not a sequence"),
    (lambda m: 5.0, "vectorized objective must return an (n_particles, n_objectives) array, "
                    "got float"),
    (lambda m: [[1.0, 2.0], [1.0], [1.0, 2.0], [1.0, 2.0]], "vectorized objective returned a "
                                                            "row of 1 value, but its first row"),
])
def test_vectorised_multi_objective_shape_errors(answer, message):
    with pytest.raises(ValueError) as error:
        pso.minimize_multi(answer, BOUNDS, n_particles=4, max_iter=3, seed=1, vectorized=True)
    assert str(error.value).startswith(message)


def test_vectorised_multi_objective_may_not_change_its_objective_count():
    calls = []

    def objective(matrix):
        calls.append(1)
        rows = two_targets_rows(matrix)
        return rows if len(calls) == 1 else np.hstack([rows, rows])

    with pytest.raises(ValueError, match="row of 4 values, but its first row had 2 values"):
        pso.minimize_multi(objective, BOUNDS, n_particles=4, max_iter=3, seed=1, vectorized=True)
    assert len(calls) == 2


class Subclassed(np.ndarray):
    pass


# Whatever form the rows take, the run reads the same values: float64 arrays in any memory order
# or strides, non-native byte order, other dtypes, subclasses and nested lists.
@pytest.mark.parametrize("form", [
    np.ascontiguousarray,
    np.asfortranarray,
    lambda rows: np.repeat(rows, 2, axis=1)[:, ::2],
    lambda rows: rows.astype(">f8"),
    lambda rows: rows.astype(np.float32),
    lambda rows: rows.view(Subclassed),
    lambda rows: rows.tolist(),
])
def test_vectorised_multi_objective_reads_every_form_of_rows_alike(form):
    def settle(rows):
        return rows.astype(np.float32).astype(np.float64)

    run = {"n_particles": 6, "max_iter": 8, "seed": 4, "vectorized": True}
    want = pso.minimize_multi(lambda m: settle(two_targets_rows(m)), BOUNDS, **run)
    got = pso.minimize_multi(lambda m: form(settle(two_targets_rows(m))), BOUNDS, **run)
    assert np.array_equal(got.objectives_array(), want.objectives_array())
    assert np.array_equal(got.positions_array(), want.positions_array())


class Boom(Exception):
    pass


def fail_on_call(k, answer):
    """A callable that answers with `answer(*args)` and raises Boom on its k-th call."""
    calls = []

    def call(*args):
        calls.append(args)
        if len(calls) == k:
            raise Boom
        return answer(*args)

    return call, calls


@pytest.mark.parametrize("run", [
    lambda cb, ob: pso.minimize(ob or sphere, BOUNDS, n_particles=4, max_iter=9, seed=1,
                                callback=cb, vectorized=False),
    lambda cb, ob: pso.minimize(ob or (lambda m: (m * m).sum(axis=1)), BOUNDS, n_particles=4,
                                max_iter=9, seed=1, callback=cb, vectorized=True),
    lambda cb, ob: pso.minimize_multi(ob or two_targets, BOUNDS, n_particles=4, max_iter=9,
                                      seed=1, callback=cb),
    lambda cb, ob: pso.minimize_multi(ob or two_targets_rows, BOUNDS, n_particles=4, max_iter=9,
                                      seed=1, callback=cb, vectorized=True),
    lambda cb, ob: pso.minimize_grey(ob or grey_width, (-1.0, 1.0), dim=2, n_particles=4,
                                     max_iter=9, seed=1, callback=cb),
    lambda cb, ob: pso.minimize_grey(
        ob or (lambda a: (a[:, :, 0] ** 2 + a[:, :, 1] - a[:, :, 0]).sum(axis=1)), (-1.0, 1.0),
        dim=2, n_particles=4, max_iter=9, seed=1, callback=cb, vectorized=True),
], ids=["minimize", "minimize-vectorized", "multi", "multi-vectorized", "grey",
        "grey-vectorized"])
def test_a_failing_callback_or_batch_ends_the_run_at_once(run):
    callback, calls = fail_on_call(2, lambda *args: True)
    with pytest.raises(Boom):
        run(callback, None)
    assert len(calls) == 2
    stopper, _ = fail_on_call(0, lambda t, progress: t < 2)
    result = run(stopper, None)
    assert result.stop_reason == "callback"


@pytest.mark.parametrize("vectorized", [False, True])
def test_multi_objective_budgets(vectorized):
    objective = two_targets_rows if vectorized else two_targets
    timed = pso.minimize_multi(objective, BOUNDS, n_particles=4, max_iter=50, seed=1,
                               vectorized=vectorized, max_time=0.0)
    assert timed.stop_reason == "max_time" and len(timed.swarm_history) == 1
    counted = pso.minimize_multi(objective, BOUNDS, n_particles=4, max_iter=50, seed=1,
                                 vectorized=vectorized, max_evals=13)
    assert counted.stop_reason == "max_evaluations" and len(counted.swarm_history) == 3
    assert pso.minimize_multi(objective, BOUNDS, n_particles=4, max_iter=2,
                              vectorized=vectorized).stop_reason == "max_iterations"


def test_grey_native_benchmarks_take_a_callback_but_no_batch():
    seen = []
    result = pso.minimize_grey("grey_sphere", (-1.0, 1.0), dim=2, n_particles=4, max_iter=5,
                               seed=1, callback=lambda t, best: seen.append(best))
    assert seen == result.convergence
    with pytest.raises(ValueError, match="requires a Python objective callable"):
        pso.minimize_grey("grey_sphere", (-1.0, 1.0), dim=2, vectorized=True)


def test_vectorised_grey_objective_sees_every_particle_in_its_representation():
    shapes = []

    def objective(pairs):
        shapes.append(pairs.shape)
        assert np.all(pairs[:, :, 1] >= 0.0) and np.all(np.abs(pairs[:, :, 0]) <= 1.0)
        return pairs[:, :, 1].sum(axis=1)

    pso.minimize_grey(objective, (-1.0, 1.0), dim=3, n_particles=5, max_iter=2, seed=1,
                      vectorized=True, representation="center_spread")
    assert shapes == [(5, 3, 2)] * 3


def zdt1(x):
    x = [float(v) for v in x]
    g = 1.0 + 9.0 * sum(x[1:]) / (len(x) - 1)
    return [x[0], g * (1.0 - math.sqrt(x[0] / g))]


def test_batch_on_a_process_pool_gives_the_serial_front():
    parallel = pytest.importorskip("corvalinth.parallel")

    def serial(matrix):
        return [zdt1(row) for row in matrix]

    settings = dict(n_particles=20, max_iter=10, seed=5, vectorized=True, archive_size=30)
    expected = pso.minimize_multi(serial, [(0.0, 1.0)] * 30, **settings)
    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        front = pso.minimize_multi(parallel.batch(zdt1, pool), [(0.0, 1.0)] * 30, **settings)
    assert front.objectives == expected.objectives
    assert front.positions == expected.positions
