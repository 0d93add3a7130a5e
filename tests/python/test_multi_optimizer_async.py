"""Asynchronous MultiOptimizer: any order of asks and tells gives the reference model's front bit
for bit, a recorded sequence replays it, a pickle taken with points out continues it, and refused
calls change nothing."""

import pickle
import random

import pytest
import reference_mopso as ref
from helpers import drive_randomly
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from test_multi_optimizer import ARCHIVES, RULES, SPACES, TURBULENCES, fingerprint, vector
from test_reference_mopso import assert_same_front, library_contributions

import corvalinth as pso


def replay(events, arguments):
    optimizer = pso.MultiOptimizer(asynchronous=True, **arguments)
    for ticket, values in events:
        if values is None:
            assert optimizer.ask()[0] == ticket
        else:
            optimizer.tell(ticket, values)
    return optimizer


def random_arguments(rng):
    arguments = dict(SPACES[rng.choice(list(SPACES))], **ARCHIVES[rng.choice(list(ARCHIVES))],
                     turbulence=rng.choice(TURBULENCES), velocity=rng.choice(RULES),
                     n_particles=rng.randint(1, 6), max_iter=rng.randint(0, 5),
                     archive_size=rng.randint(1, 4), mutation_rate=rng.choice([0.0, 0.5]),
                     seed=rng.randrange(2**64), record_history=rng.random() < 0.8)
    if rng.random() < 0.3:
        arguments["max_evals"] = rng.randint(1, 20)
    if rng.random() < 0.3:
        arguments["crossover_share"] = 0.5
        arguments["crossover"] = rng.choice(["sbx", "de"])
    if rng.random() < 0.2:
        arguments["x0"] = [[lo for lo, _ in arguments["bounds"]]]
    return arguments


@pytest.mark.parametrize("case", range(50))
def test_any_order_of_asks_and_tells_is_the_models_run(case):
    rng = random.Random(case)
    arguments = random_arguments(rng)
    most_out = rng.choice([1, 2, arguments["n_particles"]])
    optimizer = drive_randomly(pso.MultiOptimizer(asynchronous=True, **arguments), vector, rng,
                               most_out)
    events = [None if values is None else ticket for ticket, values in optimizer.events]
    model = ref.mopso(vector, contributions=library_contributions, events=events, **arguments)
    front = optimizer.result()
    assert_same_front(front, model)
    assert (front.stop_reason, front.evaluations) == (model["stop_reason"], model["evaluations"])


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(seed=st.integers(0, 2**32), order=st.integers(0, 2**32), most_out=st.integers(1, 6),
       pickle_chance=st.sampled_from([0.1, 0.5]))
def test_a_replayed_sequence_and_a_pickled_run_give_the_same_front(seed, order, most_out,
                                                                   pickle_chance):
    arguments = random_arguments(random.Random(seed))
    original = drive_randomly(pso.MultiOptimizer(asynchronous=True, **arguments), vector,
                              random.Random(order), most_out)
    expected = fingerprint(original.result())
    replayed = replay(original.events, arguments)
    assert replayed.events == original.events
    assert fingerprint(replayed.result()) == expected
    # The same tell order with pickles at random points, points out included.
    resumed = drive_randomly(pso.MultiOptimizer(asynchronous=True, **arguments), vector,
                             random.Random(order), most_out, pickle_chance)
    assert resumed.events == original.events
    assert fingerprint(resumed.result()) == expected


def test_at_most_n_particles_are_out_and_the_creation_waits_for_its_values():
    optimizer = pso.MultiOptimizer([(-1.0, 1.0)] * 2, n_particles=3, max_iter=2, seed=5,
                                   asynchronous=True)
    assert [optimizer.ask()[0] for _ in range(3)] == [0, 1, 2]
    assert optimizer.ask() is None
    optimizer.tell(2, [1.0, 2.0])
    optimizer.tell(0, [2.0, 1.0])
    assert optimizer.ask() is None  # the swarm's last first vector is not back
    assert (optimizer.iteration, optimizer.evaluations) == (0, 2)
    optimizer.tell(1, [0.5, 0.5])
    assert [ticket for ticket, _ in (optimizer.ask() for _ in range(3))] == [3, 4, 5]
    assert optimizer.ask() is None and len(optimizer.out) == 3


def started():
    optimizer = pso.MultiOptimizer([(-1.0, 1.0)] * 2, n_particles=2, max_iter=1, seed=5,
                                   asynchronous=True)
    ticket, point = optimizer.ask()
    optimizer.tell(ticket, vector(point))
    optimizer.ask()
    return optimizer


@pytest.mark.parametrize("arguments, error, message", [
    ((5, [1.0, 2.0, 3.0]), ValueError, "tell() got ticket 5, which is not out for evaluation"),
    ((0, [1.0, 2.0, 3.0]), ValueError, "tell() got ticket 0, which is not out"),
    ((2**70, [1.0]), ValueError, "which is not out for evaluation"),
    ((1.0, [1.0]), TypeError, "ticket must be an int, not float"),
    (([1.0, 2.0, 3.0],), TypeError, "takes a ticket and values"),
    ((1, [1.0, 2.0]), ValueError, "tell() got 2 objective values, but the run's vectors have 3"),
    ((1, "ab"), TypeError, None),
])
def test_refused_tells_change_nothing(arguments, error, message):
    optimizer = started()
    before = pickle.dumps(optimizer)
    with pytest.raises(error) as raised:
        optimizer.tell(*arguments)
    if message is not None:
        assert message in str(raised.value)
    assert pickle.dumps(optimizer) == before


def test_a_ticket_told_while_its_values_are_converted_is_refused():
    optimizer = started()

    class Sly:
        def __float__(self):
            optimizer.tell(1, [1.0, 2.0, 3.0])
            return 2.0

    with pytest.raises(ValueError, match="ticket 1, which is not out"):
        optimizer.tell(1, [Sly(), 2.0, 3.0])
    assert optimizer.evaluations == 2


def test_the_finished_run_refuses_asks_and_tells_and_batch_is_refused():
    optimizer = pso.MultiOptimizer([(-1.0, 1.0)], n_particles=1, max_iter=0, seed=1,
                                   asynchronous=True)
    ticket, point = optimizer.ask()
    optimizer.tell(ticket, vector(point))
    assert optimizer.done and optimizer.stop_reason == "max_iterations"
    for call in (optimizer.ask, lambda: optimizer.tell(ticket, [1.0])):
        with pytest.raises(ValueError, match="after the run is done"):
            call()
    with pytest.raises(ValueError, match="cannot be combined with batch=True"):
        pso.MultiOptimizer([(-1.0, 1.0)], asynchronous=True, batch=True)
    with pytest.raises(ValueError, match="cannot be combined with a population step"):
        pso.MultiOptimizer([(-1.0, 1.0)], asynchronous=True, swarm_selection="nondominated")
    assert not pso.MultiOptimizer([(-1.0, 1.0)], asynchronous=True, preset="robust").done
    assert pso.MultiOptimizer([(-1.0, 1.0)]).events is None
    assert pso.MultiOptimizer([(-1.0, 1.0)]).out is None
