"""Optimizer: driven with an objective it is minimize, bit for bit; a pickled optimizer goes on
where it stopped; refused calls change nothing."""

import gc
import itertools
import pickle
import random
import weakref

import numpy as np
import pytest
from helpers import Driven
from hostile import run_state_layout, state_words, words_state

import corvalinth as pso

SPACES = {
    "continuous": {"bounds": [(-3.0, 4.0), (-2.0, 2.0), (0.0, 5.0)]},
    "integer": {"bounds": [(-3.0, 4.0), (-2.0, 2.0), (0.0, 5.0)], "integer": True},
    "binary": {"bounds": [(0.0, 1.0)] * 4, "binary": True},
    "mixed": {"bounds": [(-3.0, 4.0), (-2.0, 2.0), (0.0, 1.0)],
              "var_types": ["real", "integer", "binary"]},
}
RULES = ["inertia", "constriction", "fips"]
TOPOLOGIES = ["global", "ring", "vonneumann", "random"]
POLICIES = ["clamp", "reflect", "wrap", "reinit"]
STOPS = {
    "max_iter": {},
    "patience": {"patience": 2, "tol": 1e-3},
    "target": {"target": 0.5},
    "max_evals": {"max_evals": 25},
}


def point_value(x):
    return sum((v - 0.3) ** 2 for v in x)


def batch_values(points):
    return ((points - 0.3) ** 2).sum(axis=1)


def fingerprint(result):
    """Every field of a result, floats by their bits (NaN and -0.0 included)."""
    def bits(values):
        return [float(v).hex() for v in values]

    return (bits(result.best_position), float(result.best_value).hex(), bits(result.convergence),
            [[bits(p) for p in step] for step in result.history], result.evaluations,
            result.stop_reason)


def drive(optimizer, batch):
    return Driven(optimizer, batch_values if batch else point_value).drive().optimizer.result()


def minimize_with(settings, batch):
    objective = batch_values if batch else point_value
    return pso.minimize(objective, vectorized=batch, **settings)


@pytest.mark.parametrize("batch", [False, True], ids=["per_particle", "batch"])
@pytest.mark.parametrize("space", SPACES)
def test_driven_like_minimize_gives_its_result(space, batch):
    for rule, topology, policy, stop in itertools.product(RULES, TOPOLOGIES, POLICIES, STOPS):
        settings = dict(SPACES[space], velocity=rule, topology=topology, bounds_handling=policy,
                        n_particles=5, max_iter=6, seed=17, **STOPS[stop])
        expected = fingerprint(minimize_with(settings, batch))
        driven = fingerprint(drive(pso.Optimizer(batch=batch, **settings), batch))
        assert driven == expected, (rule, topology, policy, stop)


def random_settings(rng):
    settings = dict(SPACES[rng.choice(list(SPACES))], velocity=rng.choice(RULES),
                    topology=rng.choice(TOPOLOGIES), bounds_handling=rng.choice(POLICIES),
                    n_particles=rng.randint(1, 6), max_iter=rng.randint(0, 7),
                    seed=rng.randrange(2**64), record_history=rng.random() < 0.8,
                    **STOPS[rng.choice(list(STOPS))])
    if rng.random() < 0.3:
        settings["v_max"] = rng.uniform(0.1, 2.0)
    return settings


@pytest.mark.parametrize("case", range(40))
def test_a_pickled_optimizer_continues_on_the_same_trajectory(case):
    rng = random.Random(case)
    settings = random_settings(rng)
    batch = rng.random() < 0.4
    expected = fingerprint(drive(pso.Optimizer(batch=batch, **settings), batch))

    optimizer = pso.Optimizer(batch=batch, **settings)
    saves = 0
    while not optimizer.done:
        if rng.random() < 0.2:
            optimizer, saves = pickle.loads(pickle.dumps(optimizer)), saves + 1
        asked = optimizer.ask()
        if rng.random() < 0.2:  # between an ask and its tell
            optimizer, saves = pickle.loads(pickle.dumps(optimizer)), saves + 1
            if rng.random() < 0.5:
                again = optimizer.ask()
                assert np.array_equal(again, asked)
        optimizer.tell(batch_values(asked) if batch else point_value(asked))
    finished = pickle.loads(pickle.dumps(optimizer))
    assert fingerprint(optimizer.result()) == expected, saves
    assert fingerprint(finished.result()) == expected


@pytest.mark.parametrize("topology", ["global", "random"])
def test_an_unseeded_optimizer_resumes_with_its_own_generator(topology):
    original = pso.Optimizer([(-1.0, 1.0)] * 3, n_particles=4, max_iter=5, topology=topology)
    for _ in range(7):
        original.tell(point_value(original.ask()))
    copy = pickle.loads(pickle.dumps(original))
    assert fingerprint(drive(copy, False)) == fingerprint(drive(original, False))


def test_a_cycle_through_the_arguments_is_collected():
    class Bounds(list):
        pass

    bounds = Bounds([(0.0, 1.0)])
    bounds.optimizer = pso.Optimizer(bounds)
    alive = weakref.ref(bounds)
    del bounds
    gc.collect()
    assert alive() is None


def test_progress_attributes_follow_the_run():
    optimizer = pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=3, max_iter=2, seed=5)
    assert (optimizer.done, optimizer.stop_reason, optimizer.iteration, optimizer.evaluations,
            optimizer.best_value, optimizer.best_position) == (False, None, 0, 0, None, None)
    values = []
    while not optimizer.done:
        values.append(point_value(optimizer.ask()))
        optimizer.tell(values[-1])
        assert optimizer.evaluations == len(values)
        if len(values) >= 3:
            assert optimizer.best_value == min(values)
    assert (optimizer.iteration, optimizer.stop_reason) == (2, "max_iterations")
    assert optimizer.best_position == optimizer.result().best_position
    assert optimizer.ask.__doc__ and pso.Optimizer.__doc__


def answered(optimizer):
    optimizer.tell(point_value(optimizer.ask()))
    return optimizer


def finished(optimizer):
    return drive(optimizer, batch=False) and optimizer


NOT_ASKED = "tell() must follow an ask() that was not answered"


# (batch form, how the optimizer is prepared, the refused call, exception, message)
@pytest.mark.parametrize("batch, prepare, refused, error, message", [
    (False, lambda o: o, lambda o: o.tell(1.0), ValueError, NOT_ASKED),
    (False, answered, lambda o: o.tell(1.0), ValueError, NOT_ASKED),
    (True, lambda o: (o.ask(), o.tell([1.0] * 3)) and o, lambda o: o.tell([1.0] * 3),
     ValueError, NOT_ASKED),
    (False, lambda o: (o.ask(), o)[1], lambda o: o.tell("one"), TypeError, None),
    (False, lambda o: (o.ask(), o)[1], lambda o: o.tell([1.0, 2.0]), ValueError,
     "tell() expects a single number in the per-particle form, got a sequence of length 2"),
    (False, lambda o: (o.ask(), o)[1], lambda o: o.tell(np.ones(1)), ValueError,
     "tell() expects a single number in the per-particle form, got a sequence of length 1"),
    (True, lambda o: (o.ask(), o)[1], lambda o: o.tell([1.0, 2.0]), ValueError,
     "tell() expects one value per particle: 3 values, got 2"),
    (True, lambda o: (o.ask(), o)[1], lambda o: o.tell(np.zeros(4)), ValueError,
     "tell() expects one value per particle: 3 values, got 4"),
    (False, lambda o: o, lambda o: o.result(), ValueError,
     "result() is available once the run is done"),
    (False, finished, lambda o: o.ask(), ValueError, "ask() after the run is done; read result()"),
    (False, finished, lambda o: o.tell(1.0), ValueError,
     "tell() after the run is done; read result()"),
])
def test_refused_calls_leave_the_optimizer_unchanged(batch, prepare, refused, error, message):
    optimizer = prepare(pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=3, max_iter=2, seed=5,
                                      batch=batch))
    before = pickle.dumps(optimizer)
    with pytest.raises(error) as raised:
        refused(optimizer)
    if message is not None:
        assert str(raised.value) == message
    assert pickle.dumps(optimizer) == before


@pytest.mark.parametrize("arguments", [
    {"bounds": [(1.0, 0.0)]},
    {"bounds": [(0.0, 1.0)], "n_particles": 0},
    {"bounds": [(0.0, 1.0)], "v_max": -1.0},
    {"bounds": [(0.0, 1.0)], "velocity": "nope"},
    {"bounds": [(0.0, 1.0)], "topology": "nope"},
    {"bounds": [(0.0, 1.0)], "bounds_handling": "nope"},
    {"bounds": [(0.0, 1.0)], "var_types": ["real", "real"]},
    {"bounds": (0.0, 1.0)},
    {"bounds": [(0.0, 1.0)], "seed": -1},
    {"bounds": [(0.0, 1.0)], "patience": "2"},
    {"bounds": [(0.0, 1.0)], "n_particles": 0, "velocity": "nope"},
])
def test_shared_parameters_are_validated_like_minimize(arguments):
    with pytest.raises(BaseException) as expected:  # noqa: B017 - the class is what is compared
        pso.minimize(point_value, **arguments)
    with pytest.raises(BaseException) as raised:  # noqa: B017
        pso.Optimizer(**arguments)
    assert (type(raised.value), str(raised.value)) == (type(expected.value), str(expected.value))


def test_only_bounds_is_positional():
    with pytest.raises(TypeError, match="takes 1 positional arguments but 2 were given"):
        pso.Optimizer([(0.0, 1.0)], False)
    with pytest.raises(TypeError, match="multiple values for argument 'bounds'"):
        pso.Optimizer([(0.0, 1.0)], bounds=[(0.0, 1.0)])
    with pytest.raises(TypeError, match="batch"):
        pso.Optimizer([(0.0, 1.0)], batch="yes")


@pytest.mark.parametrize("batch", [False, True])
def test_a_value_that_tells_while_converted_is_refused(batch):
    optimizer = pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=2, seed=5, batch=batch)

    class Sneaky:
        def __float__(self):
            optimizer.tell([1.0, 1.0] if batch else 1.0)
            return 2.0

    optimizer.ask()
    with pytest.raises(ValueError, match="must follow an ask"):
        optimizer.tell([Sneaky(), Sneaky()] if batch else Sneaky())
    assert optimizer.evaluations == (2 if batch else 1)


@pytest.mark.parametrize("batch", [False, True])
def test_damaged_states_are_refused_or_run_without_harm(batch):
    arguments = {"bounds": [(-1.0, 1.0)] * 2, "n_particles": 3, "max_iter": 3, "seed": 5,
                 "topology": "random", "batch": batch}
    optimizer = pso.Optimizer(**arguments)
    optimizer.ask()
    restore, (_, state) = optimizer.__reduce__()
    rng = random.Random(4)
    for _ in range(300):
        damaged = bytearray(state)
        for _ in range(rng.randint(1, 3)):
            damaged[rng.randrange(16, len(damaged))] = rng.randrange(256)
        try:
            resumed = restore(arguments, bytes(damaged))
        except ValueError:
            continue
        drive(resumed, batch)


NOT_REAL = [b"abcd", bytearray(b"abcd"), np.array([1 + 5j, 2, 3, 4]),
            np.array([1, 2, 3, 4], dtype=np.complex64), [np.complex64(1)] * 4,
            [1.0, 2.0, 3.0, 1 + 5j]]


@pytest.mark.parametrize("values", NOT_REAL, ids=lambda v: type(v).__name__)
def test_values_that_are_not_real_numbers_are_refused(values):
    """Neither bytes (a sequence of ints) nor complex numbers (whose imaginary part NumPy would
    drop) are values: refused as the per-particle form refuses 1+5j."""
    optimizer = pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=4, seed=5, batch=True)
    optimizer.ask()
    with pytest.raises(TypeError, match="must be real number, not "):
        optimizer.tell(values)
    assert optimizer.evaluations == 0
    with pytest.raises(TypeError, match="must be real number, not "):
        pso.minimize(lambda X: values, [(-1.0, 1.0)] * 2, n_particles=4, max_iter=2,
                     vectorized=True)
    per_particle = pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=4, seed=5)
    per_particle.ask()
    with pytest.raises(TypeError, match="must be real number, not "):
        per_particle.tell(values[-1] if isinstance(values, list) else values[0] * 1j)


class OwnedBounds(list):
    pass


class BoundsBox:
    def __init__(self, pairs):
        self.pairs = pairs

    def __len__(self):
        return len(self.pairs)

    def __getitem__(self, index):
        return self.pairs[index]


@pytest.mark.parametrize("bounds", [OwnedBounds([(-1.0, 1.0)] * 2), BoundsBox([(-1.0, 1.0)] * 2)],
                         ids=["list with an attribute", "object"])
def test_an_optimizer_its_bounds_refer_back_to_is_refused_at_pickling(bounds):
    optimizer = pso.Optimizer(bounds, n_particles=2, seed=5)
    bounds.owner = {"the optimizer": [optimizer]}
    with pytest.raises(TypeError, match="arguments refer back to it"):
        pickle.dumps(optimizer)
    del bounds.owner
    assert pickle.loads(pickle.dumps(optimizer)).ask() == optimizer.ask()


def claim(field, value, *then):
    """A damage that sets a field's word (and the fields after it, as `then` names them)."""
    def damage(state):
        words = state_words(state)
        at = run_state_layout(words)
        for name, word in [(field, value), *then]:
            words[at[name]] = word
        return words_state(words)
    return damage


def state(damage):
    """A damage to the saved state alone, the arguments kept."""
    return lambda arguments, saved: (arguments, damage(saved))


RESTORE = "cannot restore the Optimizer: "


@pytest.mark.parametrize("damage, error, message", [
    (state(lambda s: s[:8] + bytes([7]) + s[9:]), ValueError,
     RESTORE + "saved run state has format version 7; this version of corvalinth reads version 5 "
     "only"),
    (state(lambda s: b"not a state"), ValueError, RESTORE + "not a saved run state"),
    (state(lambda s: s[:-3]), ValueError, RESTORE + "saved run state is truncated"),
    (state(lambda s: s + bytes(8)), ValueError, RESTORE + "saved run state has trailing data"),
    # A trace of 2**40 iterations claimed by a few hundred bytes: refused before it is allocated.
    (state(claim("iteration", 2**40, ("recorded", 2**40 + 1), ("history", (2**40 + 1) * 6))),
     ValueError, "saved run state is truncated"),
    (state(claim("stop_reason", 6, ("phase", 2))), ValueError, "stop reason out of range"),
    (state(claim("stop_reason", 1)), ValueError, "stop reason of an unfinished run"),
    (lambda arguments, saved: (dict(arguments, n_particles=4), saved), ValueError,
     "does not match this run: number of particles"),
    (lambda arguments, saved: ([], saved), TypeError, None),
], ids=["version", "not a state", "truncated", "trailing", "claimed trace", "cancelled",
        "reason while running", "other settings", "arguments not a dict"])
def test_a_state_that_does_not_fit_or_that_no_run_saves_is_refused(damage, error, message):
    arguments = {"bounds": [(-1.0, 1.0)] * 2, "n_particles": 3, "max_iter": 2**62, "seed": 5,
                 "record_history": True}
    optimizer = pso.Optimizer(**arguments)
    for _ in range(7):
        optimizer.tell(point_value(optimizer.ask()))
    restore, (_, saved) = optimizer.__reduce__()
    with pytest.raises(error) as raised:
        restore(*damage(arguments, saved))
    if message is not None and message.startswith(RESTORE):
        assert str(raised.value) == message
    elif message is not None:
        assert message in str(raised.value)


@pytest.mark.parametrize("batch", [False, True], ids=["per_particle", "batch"])
@pytest.mark.parametrize("x0", [[0.5, -0.25, 1.0], [[0.5, -0.25, 1.0], [-1.0, 0.0, 0.125]]])
def test_a_warm_start_is_the_warm_start_of_minimize(batch, x0):
    settings = {"bounds": [(-2, 2)] * 3, "n_particles": 6, "max_iter": 5, "seed": 4, "x0": x0}
    optimizer = pso.Optimizer(batch=batch, **settings)
    first = optimizer.ask()
    assert (first[0].tolist() if batch else first) == (x0[0] if isinstance(x0[0], list) else x0)
    optimizer = pickle.loads(pickle.dumps(optimizer))
    optimizer.tell(batch_values(first) if batch else point_value(first))
    assert fingerprint(drive(optimizer, batch)) == fingerprint(minimize_with(settings, batch))
