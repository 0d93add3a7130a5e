"""Ending a run early: the first error of user code and Ctrl-C stop every entry point at once."""

import contextlib
import os
import signal
import struct
import threading
import time

import pytest

import corvalinth as pso
from corvalinth import parallel
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


class EndedRuns:
    """Native runs that never end by themselves, noting how each of them ended."""

    def __init__(self, failing_seed=None):
        self.failing_seed, self.ended = failing_seed, {}

    def __call__(self, seed):
        if seed == self.failing_seed:
            time.sleep(0.1)
            raise Boom(f"seed {seed}")
        try:
            return INTERRUPTIBLE["native"]()
        except BaseException as error:
            self.ended[seed] = error
            raise

    def wait_for(self, count):
        deadline = time.monotonic() + GUARD_SECONDS / 6
        while len(self.ended) < count and time.monotonic() < deadline:
            time.sleep(0.01)
        return self.ended


INTERRUPTIBLE["multistart on threads"] = lambda: parallel.multistart(EndedRuns(), range(3))


@pytest.mark.parametrize("failing_seed", [0, 1])
def test_the_first_failure_ends_multistart_and_its_runs(failing_seed):
    if failing_seed >= (os.cpu_count() or 1):
        pytest.skip("the failing seed would wait for a thread")
    runs = EndedRuns(failing_seed)
    started = time.monotonic()
    with pytest.raises(Boom, match=f"seed {failing_seed}"):
        parallel.multistart(runs, range(3))
    assert time.monotonic() - started < GUARD_SECONDS / 6
    # The runs still going were stopped (the third seed waited for a free thread and never ran).
    ended = runs.wait_for(1)
    assert ended and all(isinstance(e, RuntimeError) for e in ended.values())


def test_ctrl_c_stops_the_runs_of_multistart():
    runs = EndedRuns()
    with sigint_after(0.2), pytest.raises(KeyboardInterrupt):
        parallel.multistart(runs, range(3))
    ended = runs.wait_for(min(3, os.cpu_count() or 1))
    assert ended and all(isinstance(e, RuntimeError) for e in ended.values())


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


def sphere_array(m, n):
    """The same front as a float64 array, made quickly."""
    np = pytest.importorskip("numpy")
    points = np.random.default_rng(1).random((n, m)) + 1e-9
    return points / np.linalg.norm(points, axis=1, keepdims=True)


@pytest.mark.parametrize("function", [pso.hypervolume, pso.hypervolume_contributions])
@pytest.mark.parametrize("front", [
    # Seven objectives and 1,500 points take seconds in the sweeps; millions of points in two or
    # three objectives spend them converting, copying and sorting.
    lambda: sphere_front(7, 1500), lambda: sphere_array(2, 6_000_000),
    lambda: sphere_array(3, 2_000_000)], ids=["7 x 1500", "2 x 6e6 array", "3 x 2e6 array"])
def test_ctrl_c_ends_a_long_hypervolume(function, front):
    front = front()
    with sigint_after(0.2) as sent, pytest.raises(KeyboardInterrupt):
        function(front, [1.1] * len(front[0]))
    assert sent, "the computation ended before the signal was sent"
    assert time.monotonic() - sent[0] < 1.0


def as_pareto_front(points):
    """A ParetoFront whose members have `points` as objectives (and no position)."""
    small = pso.minimize_multi(lambda x: [x[0], -x[0]], [(0, 1)], n_particles=2, max_iter=1)
    rebuild, (state,) = small.__reduce__()
    values = [v for point in points for v in point]
    return rebuild({**state, "members": len(points), "dim": 0, "positions": b"",
                    "objective_count": len(points[0]),
                    "objectives": struct.pack(f"<{len(values)}d", *values),
                    "violations": bytes(8 * len(points))})


def test_ctrl_c_ends_a_long_front_hypervolume():
    # Seven objectives and 1,500 points take seconds; the signal comes after 0.2 s.
    front = as_pareto_front(sphere_front(7, 1500))
    with sigint_after(0.2) as sent, pytest.raises(KeyboardInterrupt):
        front.hypervolume([1.1] * 7)
    assert sent, "the computation ended before the signal was sent"
    assert time.monotonic() - sent[0] < 1.0
