"""Python code behind the run: callback, kept errors, constraints, penalty, repair, batches."""

import math

import numpy as np
import pytest

import corvalinth as pso
from helpers import sphere

BOX = [(-5, 5)] * 2


class Boom(Exception):
    pass


def raising_on(call_number, counter, value=1.0):
    def objective(x):
        counter.append(1)
        if len(counter) == call_number:
            raise Boom(f"call {call_number}")
        return value
    return objective


# --- kept errors -----------------------------------------------------------------------------

def test_error_without_callback_stops_python_calls_and_is_raised_after_the_run():
    calls = []
    with pytest.raises(Boom, match="call 3") as raised:
        pso.minimize(raising_on(3, calls), BOX, seed=1)
    assert len(calls) == 3
    assert raised.value.__traceback__ is not None


def test_error_with_callback_ends_the_run_in_that_iteration():
    calls, iterations = [], []
    # 5 particles: the 8th evaluation is in iteration 0 (evaluations 6..10).
    with pytest.raises(Boom):
        pso.minimize(raising_on(8, calls), BOX, n_particles=5, seed=1,
                     callback=lambda i, b: iterations.append(i))
    assert len(calls) == 8
    assert iterations == []
    calls.clear()
    # The 13th evaluation is in iteration 1: the callback saw iteration 0 only.
    with pytest.raises(Boom):
        pso.minimize(raising_on(13, calls), BOX, n_particles=5, seed=1,
                     callback=lambda i, b: iterations.append(i))
    assert iterations == [0]


@pytest.mark.parametrize(
    "kwargs",
    [
        {"constraints": [lambda x: 1 / 0]},
        {"equality_constraints": [lambda x: 1 / 0]},
        {"repair": lambda x: 1 / 0},
        {"callback": lambda i, b: 1 / 0},
    ],
)
def test_errors_from_every_kind_of_user_code_are_raised(kwargs):
    with pytest.raises(ZeroDivisionError):
        pso.minimize(sphere, BOX, seed=1, **kwargs)


@pytest.mark.parametrize(
    "objective, error, message",
    [
        (lambda x: "1.0", TypeError, None),
        (lambda x: None, TypeError, None),
        (lambda x: [1.0], TypeError, None),
    ],
)
def test_unreadable_objective_results(objective, error, message):
    with pytest.raises(error):
        pso.minimize(objective, BOX, max_iter=2)


def test_first_error_is_kept():
    errors = iter([KeyError("first"), ValueError("second")])

    def objective(x):
        raise next(errors)

    with pytest.raises(KeyError, match="first"):
        pso.minimize(objective, BOX, callback=lambda i, b: None)


def test_nested_calls_have_their_own_error_slot():
    def objective(x):
        with pytest.raises(Boom):
            pso.minimize(raising_on(1, []), BOX, max_iter=1)
        return sphere(x)

    r = pso.minimize(objective, BOX, n_particles=2, max_iter=1)
    assert r.evaluations == 4


# --- callback --------------------------------------------------------------------------------

@pytest.mark.parametrize("answer", [None, 0, [], True, np.True_, "", 0.0])
def test_callback_answers_that_continue(answer):
    r = pso.minimize(sphere, BOX, max_iter=4, callback=lambda i, b: answer)
    assert r.stop_reason == "max_iterations"


@pytest.mark.parametrize("answer", [False, np.False_])
def test_callback_false_stops(answer):
    r = pso.minimize(sphere, BOX, max_iter=4, callback=lambda i, b: answer)
    assert r.stop_reason == "callback" and len(r.convergence) == 1


def test_callback_arguments():
    seen = []
    r = pso.minimize(sphere, BOX, max_iter=4, seed=2, callback=lambda *a: seen.append(a))
    assert [i for i, _ in seen] == [0, 1, 2, 3]
    assert all(type(i) is int and type(b) is float for i, b in seen)
    assert [b for _, b in seen] == r.convergence


def test_callback_with_native_objective():
    seen = []
    r = pso.minimize("sphere", BOX, max_iter=5, callback=lambda i, b: seen.append(i) or i < 2)
    assert seen == [0, 1, 2] and r.stop_reason == "callback"


# --- constraints and penalty -----------------------------------------------------------------

def constant(value):
    return lambda x: value


@pytest.mark.parametrize(
    "constraints, equalities, penalty, expected",
    [
        ([constant(-1.0)], [], 1e6, 3.0),
        ([constant(2.0)], [], 1e6, 3.0 + 4e6),
        ([constant(2.0), constant(-5.0), constant(0.5)], [], 10.0, 3.0 + 10.0 * 4.25),
        ([constant(math.nan)], [], 1e6, 3.0),
        ([], [constant(-3.0)], 2.0, 3.0 + 18.0),
        ([constant(1.0)], [constant(2.0)], 0.5, 3.0 + 0.5 * 5.0),
        ([constant(1.0)], [], math.nan, math.nan),
        ([], [constant(math.nan)], 1.0, math.nan),
        ([constant(0.0)], [constant(0.0)], math.inf, 3.0),  # nothing violated: f itself
        ([constant(1.0)], [], math.inf, math.inf),
    ],
)
def test_penalty_arithmetic(constraints, equalities, penalty, expected):
    r = pso.minimize(constant(3.0), BOX, constraints=constraints,
                     equality_constraints=equalities, penalty=penalty, max_iter=1)
    if math.isnan(expected):
        assert math.isnan(r.best_value)
    else:
        assert r.best_value == expected


def test_infinite_penalty_prefers_feasible_points():
    r = pso.minimize(lambda x: -x[0], [(-5, 5)], constraints=[lambda x: x[0] - 1.0],
                     penalty=math.inf, seed=4)
    assert math.isfinite(r.best_value)
    assert r.best_position[0] <= 1.0
    assert r.best_value == pytest.approx(-1.0, abs=1e-3)


def test_negative_zero_keeps_its_sign():
    r = pso.minimize(lambda x: -0.0, BOX, max_iter=1)
    assert math.copysign(1.0, r.best_value) == -1.0
    assert repr(r).startswith("PsoResult(best_value=-0.000000,")


def test_one_list_is_shared_by_objective_and_constraints():
    lengths = []

    def objective(x):
        x.append(99.0)
        return 0.0

    def g(x):
        lengths.append(len(x))
        return -1.0

    pso.minimize(objective, BOX, constraints=[g, g], n_particles=1, max_iter=0)
    # then the result's violation is taken at the best position, each call on a fresh list
    assert lengths == [3, 3, 2, 2]


@pytest.mark.parametrize("space", [{}, {"integer": True}])
def test_lists_kept_by_user_code_never_change(space):
    # The adapter refills its argument list only when nobody else holds it.
    kept = []

    def objective(x):
        if len(kept) < 50:
            kept.append((x, list(x)))
        return sum(v * v for v in x)

    pso.minimize(objective, [(-5, 5)] * 3, n_particles=5, max_iter=20, seed=3, **space)
    assert len({id(x) for x, _ in kept}) == len(kept)
    assert all(x == snapshot for x, snapshot in kept)


def test_an_objective_that_grows_its_list_gets_a_fresh_one_next_time():
    lengths = []

    def objective(x):
        lengths.append(len(x))
        x.append(0.0)
        return x[0] ** 2

    pso.minimize(objective, [(-1, 1)] * 2, n_particles=3, max_iter=4, seed=1)
    assert set(lengths) == {2}


def test_constraint_call_order():
    order = []
    pso.minimize(lambda x: order.append("f") or 0.0, BOX,
                 constraints=[lambda x: order.append("g1") or 1.0,
                              lambda x: order.append("g2") or 0.0],
                 equality_constraints=[lambda x: order.append("h") or 0.0],
                 repair=lambda x: order.append("r") or x, n_particles=1, max_iter=0)
    # the repaired best position, then the constraints once more for the reported violation
    assert order == ["r", "f", "g1", "g2", "h", "r", "g1", "g2", "h"]


# --- repair ----------------------------------------------------------------------------------

def test_repair_changes_what_the_objective_sees_and_the_reported_position():
    seen = []
    r = pso.minimize(lambda x: seen.append(x) or sphere(x), BOX, seed=1, max_iter=5,
                     repair=lambda x: [abs(v) + 1.0 for v in x] + [7.0])
    assert all(len(x) == 3 and x[0] >= 1.0 and x[2] == 7.0 for x in seen)
    assert len(r.best_position) == 3 and r.best_position[2] == 7.0
    assert r.best_value == pytest.approx(sphere(r.best_position))


@pytest.mark.parametrize("answer, error", [("ab", "Can't extract `str` to `Vec`"),
                                           (5, "cannot be converted"),
                                           (["x"], "must be real number")])
def test_unreadable_repair_results(answer, error):
    with pytest.raises(TypeError, match=error):
        pso.minimize(sphere, BOX, repair=lambda x: answer, max_iter=1)


def test_final_repair_errors_propagate():
    calls = []

    def repair(x):
        calls.append(1)
        if len(calls) > 60:
            raise Boom("final")
        return x

    with pytest.raises(Boom, match="final"):
        pso.minimize(sphere, BOX, repair=repair, max_iter=1)
    assert len(calls) == 61


def test_integer_repair_is_truncated_during_the_run_and_in_the_result():
    seen = []
    r = pso.minimize(lambda x: seen.append(x) or float(sum(x)), [(-5, 5)] * 3, integer=True,
                     repair=lambda x: [2.7, -2.7, math.nan], seed=1, max_iter=2)
    assert all(x == [2, -2, 0] for x in seen)
    assert r.best_position == [2.0, -2.0, 0.0]
    assert r.best_value == 0.0


def test_integer_repair_saturates():
    seen = []
    r = pso.minimize(lambda x: seen.append(x) or 0.0, [(-5, 5)], integer=True,
                     repair=lambda x: [1e300, -1e300], n_particles=1, max_iter=0)
    assert seen[0] == [2**63 - 1, -(2**63)]
    assert r.best_position == [float(2**63 - 1), float(-(2**63))]


def test_mixed_space_repair_is_not_truncated():
    r = pso.minimize(sphere, [(-5, 5)] * 2, var_types=["int", "int"],
                     repair=lambda x: [2.5, -2.5], max_iter=1)
    assert r.best_position == [2.5, -2.5]


# --- vectorised objectives -------------------------------------------------------------------

def test_batch_receives_a_fresh_float64_matrix():
    shapes = []

    def batch(x):
        shapes.append((x.shape, x.dtype, x.flags["C_CONTIGUOUS"], x.flags["OWNDATA"]))
        out = (x ** 2).sum(axis=1)
        x[:] = 1e9  # writing into it changes nothing in the swarm
        return out

    r = pso.minimize(batch, BOX, n_particles=7, max_iter=3, vectorized=True, seed=2)
    assert shapes == [((7, 2), np.float64, True, True)] * 4
    assert r.evaluations == 28
    assert all(abs(v) <= 5 for v in r.best_position)


@pytest.mark.parametrize(
    "convert",
    [
        lambda v: v,
        lambda v: v.astype(np.float32),
        lambda v: list(v),
        lambda v: tuple(float(a) for a in v),
        lambda v: np.repeat(v, 2)[::2],  # strided float64 view
        lambda v: v[::-1].copy()[::-1],  # negative stride
    ],
)
def test_batch_result_forms(convert):
    r = pso.minimize(lambda x: convert((x ** 2).sum(axis=1)), BOX, vectorized=True, seed=3,
                     max_iter=5)
    reference = pso.minimize(lambda x: (x ** 2).sum(axis=1), BOX, vectorized=True, seed=3,
                             max_iter=5)
    assert r.best_value == pytest.approx(reference.best_value, rel=1e-6)


@pytest.mark.parametrize(
    "answer, error, message",
    [
        (lambda x: list(x[:-1, 0]), ValueError,
         "vectorized objective must return one value per row"),
        (lambda x: np.zeros(len(x) + 1), ValueError,
         "vectorized objective must return one value per row"),
        (lambda x: "abc", TypeError, "Can't extract `str` to `Vec`"),
        (lambda x: 3.0, TypeError, None),
    ],
)
def test_batch_result_errors(answer, error, message):
    with pytest.raises(error) as raised:
        pso.minimize(answer, BOX, vectorized=True, max_iter=2)
    if message:
        assert str(raised.value) == message


def test_batch_integer_space_sees_whole_values():
    seen = []
    pso.minimize(lambda x: seen.append(x.copy()) or x.sum(axis=1), [(-3, 3)] * 2, integer=True,
                 vectorized=True, max_iter=3)
    assert all((m == np.round(m)).all() and m.dtype == np.float64 for m in seen)


def test_batch_error_stops_python_calls():
    calls = []

    def batch(x):
        calls.append(1)
        if len(calls) == 2:
            raise Boom
        return x.sum(axis=1)

    with pytest.raises(Boom):
        pso.minimize(batch, BOX, vectorized=True, max_iter=10)
    assert len(calls) == 2
