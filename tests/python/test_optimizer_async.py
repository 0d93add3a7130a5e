"""Asynchronous Optimizer: any order of asks and tells gives the reference model's run bit for
bit, a recorded sequence replays it, a pickle taken with points out continues it, and refused
calls change nothing."""

import pickle
import random
import re
import struct

import pytest
import reference_swarm as ref
from helpers import drive_randomly
from test_optimizer import POLICIES, RULES, SPACES, STOPS, fingerprint, point_value

import corvalinth as pso


def model_of(optimizer, settings):
    events = [None if value is None else ticket for ticket, value in optimizer.events]
    return ref.minimize_asynchronous(point_value, events=events, **settings)


def replay(events, settings):
    optimizer = pso.Optimizer(asynchronous=True, **settings)
    for ticket, value in events:
        if value is None:
            assert optimizer.ask()[0] == ticket
        else:
            optimizer.tell(ticket, value)
    return optimizer


def random_settings(rng):
    settings = dict(SPACES[rng.choice(list(SPACES))], velocity=rng.choice(RULES),
                    topology=rng.choice(["global", "ring", "vonneumann", "random"]),
                    bounds_handling=rng.choice(POLICIES), n_particles=rng.randint(1, 7),
                    max_iter=rng.randint(0, 6), seed=rng.randrange(2**64),
                    record_history=rng.random() < 0.8, **STOPS[rng.choice(list(STOPS))])
    if rng.random() < 0.3:
        settings["v_max"] = rng.uniform(0.1, 2.0)
    if rng.random() < 0.2:
        settings["x0"] = [[lo for lo, _ in settings["bounds"]]]
    return settings


@pytest.mark.parametrize("case", range(60))
def test_any_order_of_asks_and_tells_is_the_models_run(case):
    rng = random.Random(case)
    settings = random_settings(rng)
    most_out = rng.choice([1, 2, settings["n_particles"]])
    optimizer = drive_randomly(pso.Optimizer(asynchronous=True, **settings), point_value, rng,
                               most_out)
    result = optimizer.result()
    model = model_of(optimizer, settings)
    assert fingerprint(result) == fingerprint(model), settings
    assert result.iterations == model.iterations


@pytest.mark.parametrize("case", range(30))
def test_a_replayed_sequence_and_a_pickled_run_give_the_same_bits(case):
    rng = random.Random(1000 + case)
    settings = random_settings(rng)
    settings["seed"] = rng.randrange(2**64)
    most_out = rng.randint(1, settings["n_particles"])
    original = drive_randomly(pso.Optimizer(asynchronous=True, **settings), point_value,
                              random.Random(case), most_out)
    expected = fingerprint(original.result())
    replayed = replay(original.events, settings)
    assert replayed.events == original.events
    assert fingerprint(replayed.result()) == expected
    # The same decisions, with pickling at random points (points out included).
    resumed = drive_randomly(pso.Optimizer(asynchronous=True, **settings), point_value,
                             random.Random(case), most_out, pickle_chance=0.3)
    assert resumed.events == original.events
    assert fingerprint(resumed.result()) == expected


def test_at_most_n_particles_are_out_and_the_creation_waits_for_its_values():
    optimizer = pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=3, max_iter=2, seed=5,
                              asynchronous=True)
    asked = [optimizer.ask() for _ in range(3)]
    assert [ticket for ticket, _ in asked] == [0, 1, 2]
    assert optimizer.ask() is None
    optimizer.tell(1, 1.0)
    assert optimizer.ask() is None  # the swarm's other first values are not back
    assert optimizer.best_value is None
    optimizer.tell(2, 0.5)
    optimizer.tell(0, 2.0)
    assert optimizer.best_value == 0.5
    assert [optimizer.ask()[0] for _ in range(3)] == [3, 4, 5]
    assert optimizer.ask() is None


def started():
    optimizer = pso.Optimizer([(-1.0, 1.0)] * 2, n_particles=2, max_iter=1, seed=5,
                              asynchronous=True)
    optimizer.ask()
    return optimizer


NO_CONSTRAINTS = "no constraint values in an asynchronous run"


@pytest.mark.parametrize("arguments, keywords, error, message", [
    ((5, 1.0), {}, ValueError, "tell() got ticket 5, which is not out for evaluation"),
    ((-1, 1.0), {}, ValueError, "tell() got ticket -1, which is not out for evaluation"),
    ((2**70, 1.0), {}, ValueError, "which is not out for evaluation"),
    ((0.0, 1.0), {}, TypeError, "ticket must be an int, not float"),
    ((1.0,), {}, TypeError, "takes a ticket and a value"),
    ((0, [1.0, 2.0]), {}, ValueError, "expects a single number"),
    ((0, "1"), {}, TypeError, "must be real number"),
    ((0, 1.0), {"constraints": [1.0]}, TypeError, NO_CONSTRAINTS),
    ((0, 1.0), {"equality_constraints": [0.0]}, TypeError, NO_CONSTRAINTS),
    ((0, 1.0), {"constraints": [0.0], "equality_constraints": [0.0]}, TypeError, NO_CONSTRAINTS),
])
def test_refused_tells_change_nothing(arguments, keywords, error, message):
    """A refused tell leaves the state as it was and the ticket out: told again, it is taken."""
    optimizer = started()
    before = pickle.dumps(optimizer)
    with pytest.raises(error, match=re.escape(message)):
        optimizer.tell(*arguments, **keywords)
    assert pickle.dumps(optimizer) == before
    optimizer.tell(0, 1.0, constraints=None, equality_constraints=None)
    assert optimizer.evaluations == 1


def test_saved_violations_do_not_restore_an_asynchronous_run():
    reducer, (arguments, state) = started().__reduce__()
    with pytest.raises(ValueError, match="carries no violations"):
        reducer(arguments, state, struct.pack("<3d", 1.0, 0.0, 0.0))


def test_a_ticket_told_while_its_value_is_converted_is_refused():
    optimizer = started()

    class Sly:
        def __float__(self):
            optimizer.tell(0, 1.0)
            return 2.0

    with pytest.raises(ValueError, match="ticket 0, which is not out"):
        optimizer.tell(0, Sly())
    assert optimizer.evaluations == 1


def test_the_finished_run_refuses_asks_and_tells_and_batch_is_refused():
    optimizer = pso.Optimizer([(-1.0, 1.0)], n_particles=1, max_iter=0, seed=1, asynchronous=True)
    ticket, point = optimizer.ask()
    optimizer.tell(ticket, point_value(point))
    assert optimizer.done and optimizer.stop_reason == "max_iterations"
    for call in (optimizer.ask, lambda: optimizer.tell(ticket, 1.0)):
        with pytest.raises(ValueError, match="after the run is done"):
            call()
    with pytest.raises(ValueError, match="cannot be combined with batch=True"):
        pso.Optimizer([(-1.0, 1.0)], asynchronous=True, batch=True)
    for restarting in ({"restart_patience": 3}, {"preset": "robust"}):
        with pytest.raises(ValueError, match="cannot be combined with restarts"):
            pso.Optimizer([(-1.0, 1.0)], asynchronous=True, **restarting)
    assert pso.Optimizer([(-1.0, 1.0)]).events is None
