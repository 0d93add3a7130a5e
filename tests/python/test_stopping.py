"""Ending a run early: the first error of user code and Ctrl-C stop every entry point at once."""

import contextlib
import os
import signal
import struct
import threading
import time

import pytest

import corvalinth as pso
from helpers import sphere

# Budgets no test should ever reach: a run that is not stopped fails on max_time instead of hanging.
ENDLESS = {"max_iter": 10**9, "record_history": False}
GUARD_SECONDS = 30.0


class Boom(Exception):
    pass


class UserCode:
    """Wraps user callables, logging every call, and makes one of them raise on its k-th call."""

    def __init__(self, failing, call_number):
        self.failing = failing
        self.call_number = call_number
        self.log = []

    def __call__(self, name, function):
        def wrapped(*args):
            self.log.append(name)
            if name == self.failing and self.log.count(name) == self.call_number:
                raise Boom(f"{name} {self.call_number}")
            return function(*args)
        return wrapped


def single(user, **kwargs):
    return pso.minimize(user("objective", sphere), [(-5, 5)] * 3, max_time=GUARD_SECONDS,
                        **ENDLESS, **kwargs)


RUNS = {
    "objective": lambda user: single(user),
    "objective with callback": lambda user: single(user, callback=user("callback", lambda i, b: None)),
    "constraint": lambda user: single(user, constraints=[user("constraint", lambda x: x[0])]),
    "equality constraint": lambda user: single(
        user, equality_constraints=[user("equality constraint", lambda x: x[1])]),
    "repair": lambda user: single(user, repair=user("repair", lambda x: x)),
    "callback": lambda user: single(user, callback=user("callback", lambda i, b: None)),
    "vectorized": lambda user: pso.minimize(
        user("vectorized", lambda a: (a * a).sum(axis=1)), [(-5, 5)] * 3, vectorized=True,
        max_time=GUARD_SECONDS, **ENDLESS),
    "multi-objective": lambda user: pso.minimize_multi(
        user("multi-objective", lambda x: [x[0], 1 - x[0]]), [(0, 1)] * 2, n_particles=10,
        **ENDLESS),
    "grey": lambda user: pso.minimize_grey(
        user("grey", lambda x: sum(lo * lo for lo, hi in x)), [(0, 1)] * 2,
        max_time=GUARD_SECONDS, **ENDLESS),
}


@pytest.mark.parametrize("failing, call_number", [
    ("objective", 3), ("objective", 95), ("objective with callback", 95), ("constraint", 40),
    ("equality constraint", 40), ("repair", 40), ("callback", 2), ("vectorized", 3),
    ("multi-objective", 25), ("grey", 45),
])
def test_first_error_ends_the_run_before_any_further_user_code(failing, call_number):
    name = failing.removesuffix(" with callback")
    user = UserCode(name, call_number)
    start = time.monotonic()
    with pytest.raises(Boom, match=f"^{name} {call_number}$"):
        RUNS[failing](user)
    assert time.monotonic() - start < GUARD_SECONDS / 3
    assert user.log.count(name) == call_number
    assert user.log[-1] == name, "user code was called after the failure"


@contextlib.contextmanager
def sigint_after(delay):
    """Sends SIGINT to this process from a timer thread; yields the list the sending time goes to."""
    sent = []

    def send():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(delay, send)
    timer.start()
    try:
        yield sent
    finally:
        timer.cancel()
        timer.join()


INTERRUPTIBLE = {
    "native": lambda: pso.minimize("rastrigin", [(-5, 5)] * 30, max_time=GUARD_SECONDS,
                                   **ENDLESS),
    "native with callback": lambda: pso.minimize(
        "rastrigin", [(-5, 5)] * 30, callback=lambda i, b: None, max_time=GUARD_SECONDS,
        **ENDLESS),
    "python": lambda: pso.minimize(sphere, [(-5, 5)] * 5, max_time=GUARD_SECONDS, **ENDLESS),
    "vectorized": lambda: pso.minimize(lambda a: (a * a).sum(axis=1), [(-5, 5)] * 5,
                                       vectorized=True, max_time=GUARD_SECONDS, **ENDLESS),
    "multi-objective": lambda: pso.minimize_multi(lambda x: [x[0], 1 - x[0]], [(0, 1)] * 2,
                                                  **ENDLESS),
    "grey": lambda: pso.minimize_grey(lambda x: sum(lo * lo for lo, hi in x), [(0, 1)] * 2,
                                      max_time=GUARD_SECONDS, **ENDLESS),
    "native grey": lambda: pso.minimize_grey("grey_sphere", [(0, 1)] * 10,
                                             max_time=GUARD_SECONDS, **ENDLESS),
}


@pytest.mark.parametrize("entry_point", INTERRUPTIBLE)
def test_ctrl_c_ends_every_run(entry_point):
    with sigint_after(0.2) as sent, pytest.raises(KeyboardInterrupt):
        INTERRUPTIBLE[entry_point]()
    assert sent, "the run ended before the signal was sent"
    # Typically a few milliseconds; the bound only has to tell "promptly" from "at the end".
    assert time.monotonic() - sent[0] < GUARD_SECONDS / 6


@pytest.fixture
def sigint_handler():
    previous = signal.getsignal(signal.SIGINT)
    yield lambda handler: signal.signal(signal.SIGINT, handler)
    signal.signal(signal.SIGINT, previous)


def test_the_installed_handlers_exception_is_raised(sigint_handler):
    def handler(signum, frame):
        raise Boom("from the handler")

    sigint_handler(handler)
    with sigint_after(0.1), pytest.raises(Boom, match="from the handler"):
        INTERRUPTIBLE["native"]()


def test_a_handler_that_only_takes_note_lets_the_run_finish(sigint_handler):
    noted = []
    sigint_handler(lambda signum, frame: noted.append(signum))
    with sigint_after(0.1) as sent:
        result = pso.minimize("rastrigin", [(-5, 5)] * 30, max_time=0.5, **ENDLESS)
    assert result.stop_reason == "max_time"
    assert sent and noted == [signal.SIGINT]


def test_runs_off_the_main_thread_are_the_same_runs():
    results = {}

    def run(where):
        results[where] = pso.minimize("ackley", [(-5, 5)] * 4, seed=3, max_iter=50)

    worker = threading.Thread(target=run, args=("worker",))
    worker.start()
    worker.join()
    run("main")
    assert results["worker"].convergence == results["main"].convergence
    assert results["worker"].history == results["main"].history


def sphere_front(m, n, seed=1):
    """n points on the unit sphere's positive orthant: every one of them is nondominated."""
    import random
    rng = random.Random(seed)
    points = []
    for _ in range(n):
        p = [abs(rng.gauss(0, 1)) for _ in range(m)]
        norm = sum(v * v for v in p) ** 0.5
        points.append([v / norm for v in p])
    return points


def as_pareto_front(points):
    """A ParetoFront whose members have `points` as objectives (and no position)."""
    small = pso.minimize_multi(lambda x: [x[0], -x[0]], [(0, 1)], n_particles=2, max_iter=1)
    rebuild, (state,) = small.__reduce__()
    values = [v for point in points for v in point]
    return rebuild({**state, "members": len(points), "dim": 0, "positions": b"",
                    "objective_count": len(points[0]),
                    "objectives": struct.pack(f"<{len(values)}d", *values)})


@pytest.mark.parametrize("prepare", [
    lambda front: lambda reference: pso.hypervolume(front, reference),
    lambda front: lambda reference: pso.hypervolume_contributions(front, reference),
    lambda front: as_pareto_front(front).hypervolume,
], ids=["hypervolume", "hypervolume_contributions", "ParetoFront.hypervolume"])
def test_ctrl_c_ends_a_long_hypervolume(prepare):
    # Seven objectives and 1,500 points take seconds; the signal comes after 0.2 s.
    function = prepare(sphere_front(7, 1500))
    with sigint_after(0.2) as sent, pytest.raises(KeyboardInterrupt):
        function([1.1] * 7)
    assert sent, "the computation ended before the signal was sent"
    assert time.monotonic() - sent[0] < 1.0
