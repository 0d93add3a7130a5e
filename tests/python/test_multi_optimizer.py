"""MultiOptimizer: driven with an objective it is minimize_multi, bit for bit, in both forms; a
pickled optimizer goes on where it stopped; refused tells and damaged states change nothing."""

import itertools
import math
import pickle
import random

import numpy as np
import pytest
from helpers import drive_randomly
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import corvalinth as pso

SPACES = {
    "continuous": {"bounds": [(-2.0, 2.0)] * 3},
    "integer": {"bounds": [(-3.0, 4.0)] * 3, "integer": True},
    "mixed": {"bounds": [(-2.0, 2.0), (-3.0, 3.0), (0.0, 1.0)],
              "var_types": ["real", "integer", "binary"]},
}
ARCHIVES = {"crowding": {}, "grid": {"grid_divisions": 3},
            "hypervolume": {"archive_truncation": "hypervolume"}}
TURBULENCES = ["decaying", "polynomial"]
RULES = ["inertia", "constriction", "speed_constrained"]
STOPS = {"max_iter": {}, "max_evals": {"max_evals": 23}, "preset": {"preset": "robust",
                                                                   "max_evals": 40}}


def vector(x):
    # A damaged state may hand out coordinates whose squares overflow Python's floats.
    try:
        return [sum(v * v for v in x), sum((v - 1.0) ** 2 for v in x), abs(x[0] - x[-1])]
    except OverflowError:
        return [math.inf] * 3


def rows(points):
    return np.array([vector(p) for p in points])


def fingerprint(front):
    """Every field of a front, floats by their bits."""
    def bits(value):
        if isinstance(value, list):
            return [bits(v) for v in value]
        return float(value).hex() if isinstance(value, float) else value

    return {key: bits(value) for key, value in front.to_dict().items()}


def drive(optimizer, batch, pickle_at=()):
    step = 0
    while not optimizer.done:
        if step in pickle_at:
            optimizer = pickle.loads(pickle.dumps(optimizer))
        asked = optimizer.ask()
        step += 1
        if step in pickle_at:  # between an ask and its tell
            optimizer = pickle.loads(pickle.dumps(optimizer))
            assert np.array_equal(optimizer.ask(), asked)
        optimizer.tell(rows(asked) if batch else vector(asked))
        step += 1
    return optimizer


def expected_front(arguments, batch):
    return pso.minimize_multi(rows if batch else vector, vectorized=batch, **arguments)


@pytest.mark.parametrize("batch", [False, True], ids=["per_particle", "batch"])
@pytest.mark.parametrize("space", SPACES)
def test_driven_like_minimize_multi_gives_its_front(space, batch):
    for archive, turbulence, rule, stop in itertools.product(ARCHIVES, TURBULENCES, RULES, STOPS):
        arguments = dict(SPACES[space], **ARCHIVES[archive], **STOPS[stop], turbulence=turbulence,
                         velocity=rule, n_particles=5, max_iter=6, archive_size=3,
                         mutation_rate=0.5, seed=7)
        expected = fingerprint(expected_front(arguments, batch))
        driven = drive(pso.MultiOptimizer(batch=batch, **arguments), batch)
        assert fingerprint(driven.result()) == expected, (archive, turbulence, rule, stop)
        assert driven.evaluations == expected["evaluations"]
        assert driven.iteration == expected["iterations"]


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(space=st.sampled_from(list(SPACES)), archive=st.sampled_from(list(ARCHIVES)),
       turbulence=st.sampled_from(TURBULENCES), batch=st.booleans(),
       n_particles=st.integers(1, 5), max_iter=st.integers(0, 5), seed=st.integers(0, 2**64 - 1),
       record_history=st.booleans(), warm=st.booleans(),
       pickle_at=st.sets(st.integers(0, 80), max_size=8),
       crossover_share=st.sampled_from([0.0, 0.5, 1.0]),
       swarm_selection=st.sampled_from(["none", "nondominated"]),
       crossover=st.sampled_from(["sbx", "de"]))
def test_a_pickled_optimizer_continues_on_the_same_trajectory(
        space, archive, turbulence, batch, n_particles, max_iter, seed, record_history, warm,
        pickle_at, crossover_share, swarm_selection, crossover):
    arguments = dict(SPACES[space], **ARCHIVES[archive], turbulence=turbulence,
                     n_particles=n_particles, max_iter=max_iter, archive_size=2, seed=seed,
                     record_history=record_history, mutation_rate=0.4,
                     crossover_share=crossover_share, swarm_selection=swarm_selection,
                     crossover=crossover)
    if warm:
        arguments["x0"] = [0.0, 1.0, 0.0]
    expected = fingerprint(expected_front(arguments, batch))
    driven = drive(pso.MultiOptimizer(batch=batch, **arguments), batch, pickle_at)
    assert fingerprint(driven.result()) == expected
    assert fingerprint(pickle.loads(pickle.dumps(driven)).result()) == expected


BOUNDS = [(-1.0, 1.0)] * 2


@pytest.mark.parametrize("batch", [False, True], ids=["per_particle", "batch"])
@pytest.mark.parametrize("prepare, told, message", [
    (0, [1.0, 2.0], "tell() must follow an ask() that was not answered"),
    (1, "ab", None),
    (1, [1.0, 2.0, 3.0], "tell() got 3 objective values, but the run's vectors have 2"),
    (1, [[1.0, 2.0]], "tell() expects one row of objective values per particle: 4 rows, got 1"),
])
def test_refused_tells_leave_the_optimizer_unchanged(batch, prepare, told, message):
    optimizer = pso.MultiOptimizer(BOUNDS, n_particles=4, max_iter=2, seed=3, batch=batch)
    optimizer.ask()
    optimizer.tell(rows(optimizer.ask())[:, :2] if batch else vector(optimizer.ask())[:2])
    if prepare:
        optimizer.ask()
    if batch and isinstance(told, list) and not isinstance(told[0], list):
        told = [told] * 4
    if not batch and isinstance(told, list) and isinstance(told[0], list):
        message = None  # a list of rows is no vector: refused in the per-particle form's words
    before = pickle.dumps(optimizer)
    with pytest.raises((TypeError, ValueError)) as raised:
        optimizer.tell(told)
    if message is not None:
        assert str(raised.value).startswith(message)
    assert pickle.dumps(optimizer) == before


def test_progress_result_and_the_end_of_the_run():
    optimizer = pso.MultiOptimizer(BOUNDS, n_particles=3, max_iter=2, seed=1)
    with pytest.raises(ValueError, match="available once the run is done"):
        optimizer.result()
    assert (optimizer.done, optimizer.stop_reason, optimizer.iteration) == (False, None, 0)
    drive(optimizer, False)
    assert (optimizer.done, optimizer.stop_reason) == (True, "max_iterations")
    assert (optimizer.iteration, optimizer.evaluations) == (2, 9)
    for call in (optimizer.ask, lambda: optimizer.tell([1.0, 2.0])):
        with pytest.raises(ValueError, match="after the run is done"):
            call()


@pytest.mark.parametrize("arguments", [
    {"velocity": "fips"}, {"archive_size": 0}, {"n_particles": 0}, {"turbulence": "x"},
    {"archive_truncation": "hypervolume", "grid_divisions": 3}, {"preset": "fast"},
    {"bounds": [(1.0, -1.0)]}, {"x0": [[9.0, 9.0]]},
])
def test_settings_are_refused_like_minimize_multi(arguments):
    arguments = dict({"bounds": BOUNDS}, **arguments)
    with pytest.raises(BaseException) as expected:
        pso.minimize_multi(vector, **arguments)
    with pytest.raises(type(expected.value)) as refused:
        pso.MultiOptimizer(**arguments)
    assert str(refused.value) == str(expected.value)


def test_only_bounds_is_positional():
    with pytest.raises(TypeError, match="takes 1 positional argument"):
        pso.MultiOptimizer(BOUNDS, 10)


@pytest.mark.parametrize("damage, message", [
    (lambda s: b"not a state", "not a saved run state"),
    (lambda s: s[:-3], "saved run state is truncated"),
    (lambda s: s + bytes(8), "saved run state has trailing data"),
    (lambda s: pso.Optimizer(BOUNDS, n_particles=4).__reduce__()[1][1],
     "saved run state does not match this run: kind of run (a multi-objective one)"),
])
def test_a_state_that_does_not_fit_is_refused(damage, message):
    optimizer = pso.MultiOptimizer(BOUNDS, n_particles=4, seed=5)
    restore, (arguments, state) = optimizer.__reduce__()
    with pytest.raises(ValueError) as raised:
        restore(arguments, damage(state))
    assert str(raised.value) == "cannot restore the MultiOptimizer: " + message


FORMS = {"per_particle": {"batch": False}, "batch": {"batch": True},
         "asynchronous": {"asynchronous": True}}


def _saved_mid_run(form, tells):
    arguments = dict({"bounds": BOUNDS, "n_particles": 3, "max_iter": 4, "seed": 5,
                      "archive_size": 2, "grid_divisions": 2}, **FORMS[form])
    optimizer = pso.MultiOptimizer(**arguments)
    if form == "asynchronous":
        rng = random.Random(tells)
        for _ in range(tells):
            asked = optimizer.ask()
            if asked is not None and rng.random() < 0.6:
                optimizer.tell(asked[0], vector(asked[1]))
        return arguments, optimizer.__reduce__()
    for _ in range(tells):
        asked = optimizer.ask()
        optimizer.tell(rows(asked) if form == "batch" else vector(asked))
    optimizer.ask()
    return arguments, optimizer.__reduce__()


@settings(max_examples=300, deadline=None)
@given(form=st.sampled_from(list(FORMS)), other_form=st.booleans(), data=st.data())
def test_damaged_states_are_refused_or_resume_and_pickle(form, other_form, data):
    """A word replaced by a small or huge count or a NaN, or a few bytes changed, in a state
    restored into its form (or the other synchronous one): refused with a ValueError, or a run
    that goes on, pickles to the same state and ends."""
    tells = data.draw(st.integers(0, 3 if form == "batch" else 12), label="tells")
    arguments, (restore, (_, state)) = _saved_mid_run(form, tells)
    if data.draw(st.booleans(), label="replace a word"):
        words = list(np.frombuffer(state, dtype="<u8"))
        at = data.draw(st.integers(2, len(words) - 1), label="word")
        words[at] = data.draw(st.sampled_from([0, 1, 2, 3, 5, 2**20, 2**31, 2**63, 2**64 - 1,
                                               int(np.float64(math.nan).view("<u8"))]))
        damaged = np.array(words, dtype="<u8").tobytes()
    else:
        damaged = bytearray(state)
        for _ in range(data.draw(st.integers(1, 3))):
            damaged[data.draw(st.integers(16, len(damaged) - 1))] = data.draw(st.integers(0, 255))
        damaged = bytes(damaged)
    if form != "asynchronous" and other_form:
        form = "batch" if form == "per_particle" else "per_particle"
        arguments = dict(arguments, **FORMS[form])
    try:
        resumed = restore(arguments, damaged)
    except ValueError as refused:
        assert str(refused).startswith("cannot restore the MultiOptimizer: ")
        return
    twin = pickle.loads(pickle.dumps(resumed))
    assert twin.__reduce__()[1][1] == resumed.__reduce__()[1][1]
    if form == "asynchronous":
        drive_randomly(resumed, vector, random.Random(tells), 3)
    else:
        drive(resumed, form == "batch")
    assert pickle.loads(pickle.dumps(resumed.result())).evaluations == resumed.evaluations


NAMED = {"a": (-2.0, 2.0), "n": ("int", -3, 4), "k": ["x", "y", "z"]}


def named_vector(p):
    return [p["a"] ** 2 + p["n"], (p["a"] - 1.0) ** 2 + (p["k"] == "x"), abs(p["a"] - p["n"])]


@pytest.mark.parametrize("named", [False, True], ids=["list", "named"])
@pytest.mark.parametrize("form", list(FORMS))
@pytest.mark.parametrize("pickle_chance", [0.0, 0.3])
def test_named_parameters_and_the_record_are_minimize_multis(form, named, pickle_chance):
    """Driven in any form with pickles on the way, the record holds every told vector with its
    point, the front speaks in names: minimize_multi's front bit for bit in the synchronous forms,
    the told events in the asynchronous one."""
    bounds, objective = (NAMED, named_vector) if named else (SPACES["mixed"]["bounds"], vector)
    arguments = dict(bounds=bounds, n_particles=4, max_iter=3, archive_size=3, seed=11,
                     record_evaluations=True, **({} if named else {"var_types": SPACES["mixed"][
                         "var_types"]}))
    optimizer = pso.MultiOptimizer(**arguments, **FORMS[form])
    rng = random.Random(form)
    if form == "asynchronous":
        optimizer = drive_randomly(optimizer, objective, rng, 3, pickle_chance)
        front = optimizer.result()
        told = [values for _, values in optimizer.events if values is not None]
        assert [row[-3:] for row in front.recorded_evaluations] == told
        assert [objective(point) for point in
                (front.trials() if named else (row[:-3] for row in front.recorded_evaluations))
                ] == told
    else:
        batch = form == "batch"
        while not optimizer.done:
            if rng.random() < pickle_chance:
                optimizer = pickle.loads(pickle.dumps(optimizer))
            asked = optimizer.ask()
            optimizer.tell([objective(p) for p in asked] if batch else objective(asked))
        front = optimizer.result()
        expected = pso.minimize_multi(
            (lambda points: [objective(p) for p in points]) if batch else objective,
            vectorized=batch, **arguments)
        assert fingerprint(front) == fingerprint(expected)
    assert len(front.recorded_evaluations) == front.evaluations
    if named:
        assert front.parameters == NAMED and set(front.params[0]) == set(NAMED)


def test_a_record_restores_only_where_it_fits():
    optimizer = pso.MultiOptimizer(BOUNDS, n_particles=2, seed=1, record_evaluations=True)
    optimizer.tell(vector(optimizer.ask()))
    rebuild, (arguments, state, record) = optimizer.__reduce__()
    assert record[0] == 2 + 3
    with pytest.raises(ValueError, match="does not fit"):
        rebuild(arguments, state, (4, b"\0" * 32))
    with pytest.raises(ValueError, match="without record_evaluations"):
        rebuild({**arguments, "record_evaluations": False}, state, record)
