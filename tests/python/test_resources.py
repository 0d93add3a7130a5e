"""Threads and resources: native runs release the lock; repeated calls leak nothing."""

import copy
import gc
import json
import pickle
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest

import corvalinth as pso
import corvalinth_native


def test_native_runs_in_two_threads_overlap():
    spans = []

    def work():
        start = time.perf_counter()
        pso.minimize("rastrigin", [(-5.12, 5.12)] * 20, n_particles=50, max_iter=300, seed=1,
                     record_history=False)
        spans.append((start, time.perf_counter()))

    work()  # warm up
    spans.clear()
    threads = [threading.Thread(target=work) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    (a0, a1), (b0, b1) = sorted(spans)
    assert b0 < a1, "the second run started only after the first had ended"


# A native run of each front end that runs without the lock, long enough for many ticks.
NATIVE_RUNS = {
    "minimize": lambda: pso.minimize("rastrigin", [(-5.12, 5.12)] * 30, n_particles=60,
                                     max_iter=400, seed=1, record_history=False),
    "minimize_grey": lambda: pso.minimize_grey("grey_sphere", [(-5.12, 5.12)] * 50,
                                               n_particles=100, max_iter=1000, seed=1,
                                               record_history=False),
}


@pytest.mark.parametrize("front_end", NATIVE_RUNS)
def test_python_thread_runs_while_a_native_run_is_in_progress(front_end):
    ticks = []
    done = threading.Event()

    def ticker():
        while not done.is_set():
            ticks.append(1)
            time.sleep(0.001)

    t = threading.Thread(target=ticker)
    t.start()
    time.sleep(0.01)
    before = len(ticks)
    started = time.perf_counter()
    NATIVE_RUNS[front_end]()
    elapsed = time.perf_counter() - started
    during = len(ticks) - before
    done.set()
    t.join()
    assert during > 5, f"{during} ticks during a {elapsed:.3f} s run"


def test_python_thread_runs_while_a_hypervolume_is_computed():
    rng = np.random.default_rng(1)
    front = rng.random((200_000, 3))
    front /= np.linalg.norm(front, axis=1, keepdims=True)
    ticks = []
    done = threading.Event()

    def ticker():
        while not done.is_set():
            ticks.append(1)
            time.sleep(0.001)

    t = threading.Thread(target=ticker)
    t.start()
    time.sleep(0.01)
    before = len(ticks)
    for _ in range(3):
        pso.hypervolume(front, [1.1, 1.1, 1.1])
    during = len(ticks) - before
    done.set()
    t.join()
    assert during > 5


class Tracked:
    """Objects whose reference counts must come back to where they were."""

    def objective(self, x):
        return sum(v * v for v in x)

    def failing(self, x):
        raise ValueError("no")

    def constraint(self, x):
        return x[0]

    def repair(self, x):
        return [v * 0.5 for v in x]

    def callback(self, i, b):
        return None

    def batch(self, x):
        return (x ** 2).sum(axis=1)

    def multi(self, x):
        return [x[0] * x[0], (x[0] - 1) ** 2]

    def growing(self, x):
        self.calls = getattr(self, "calls", 0) + 1
        return [0.0] * (3 if self.calls % 7 == 0 else 2)  # a length change in every run

    def grey(self, greys):
        return sum(lo * lo + hi * hi for lo, hi in greys)


def as_data(result):
    """Every way a result becomes data: pickled, copied, as a dict and as arrays."""
    twin = pickle.loads(pickle.dumps(result))
    arrays = [getattr(twin, n)() for n in dir(twin) if n.endswith("_array")]
    return [copy.deepcopy(result), copy.copy(twin), json.dumps(twin.to_dict())] + [
        a.sum() for a in arrays]


def read_all(result):
    """Every attribute and the repr of a result."""
    return [getattr(result, name) for name in dir(result) if not name.startswith("__")] + [
        repr(result)]


def driven_with_checkpoints(tracked, batch):
    """An Optimizer driven to the end, pickled after every tell, its result read."""
    optimizer = pso.Optimizer([(-1, 1)] * 2, n_particles=4, max_iter=3, batch=batch,
                              record_history=True)
    while not optimizer.done:
        asked = optimizer.ask()
        optimizer.tell(tracked.batch(asked) if batch else tracked.objective(asked))
        optimizer = pickle.loads(pickle.dumps(optimizer))
    return read_all(optimizer.result()) + [optimizer.best_position, optimizer.stop_reason]


CALLS = [
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, constraints=[t.constraint],
                           equality_constraints=[t.constraint], repair=t.repair,
                           callback=t.callback, max_iter=5),
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, integer=True, repair=t.repair,
                           max_iter=5),
    lambda t: pso.minimize(t.batch, np.array([[-1.0, 1.0]] * 2), vectorized=True, max_iter=5),
    lambda t: pso.minimize(t.failing, [(-1, 1)] * 2, callback=t.callback, max_iter=5),
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, repair=t.failing, max_iter=5),
    lambda t: pso.minimize(t.batch, [(-1, 1)] * 2, vectorized=True, max_iter=5).history,
    lambda t: pso.minimize(lambda x: [1.0], [(-1, 1)] * 2, vectorized=True, max_iter=5),
    lambda t: pso.minimize("sphere", [(-1, 1)] * 2, callback=t.callback, n_particles="x"),
    lambda t: pso.minimize("sphere", [(1, 0)]),
    lambda t: repr(pso.minimize("sphere", [(-1, 1)] * 2, max_iter=5)),
    lambda t: pso.minimize(t.batch, [(-1, 1)] * 2, vectorized=True, callback=t.callback,
                           max_iter=5, x0=np.zeros((3, 2))),
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, x0=[[0.0, 0.0], [0.0, t]]),
    lambda t: pso.minimize(t.objective, [(-1, 1)] * 2, x0=[0.0, 2.0]),
    # minimize_multi and ParetoFront
    lambda t: read_all(pso.minimize_multi(t.multi, [(-1, 1)] * 2, n_particles=5, max_iter=5,
                                          grid_divisions=3)),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)] * 2, integer=True, n_particles=5,
                                 max_iter=5).hypervolume(),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)] * 2, n_particles=5,
                                 max_iter=5).hypervolume(np.array([9.0, 9.0])),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)], n_particles=5, max_iter=2).hypervolume("ab"),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)], n_particles=5, max_iter=2).hypervolume([1]),
    lambda t: pso.minimize_multi(t.failing, [(-1, 1)] * 2, n_particles=5, max_iter=5),
    lambda t: pso.minimize_multi(t.growing, [(-1, 1)] * 2, n_particles=5, max_iter=5),
    lambda t: pso.minimize_multi(t.repair, [(-1, 1)] * 2, var_types=["real", "bin"],
                                 n_particles=5, max_iter=5),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)] * 2, archive_size=0),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)] * 2, var_types=["real", 1]),
    lambda t: pso.minimize_multi(t.multi, [(1, -1)] * 2, var_types=["real", "int"]),
    lambda t: read_all(pso.minimize_multi(lambda m: [t.multi(r) for r in m], [(-1, 1)] * 2,
                                          n_particles=5, max_iter=5, vectorized=True,
                                          callback=t.callback, x0=[0.0, 0.5])),
    lambda t: pso.minimize_multi(lambda m: m[:2], [(-1, 1)] * 2, n_particles=5, vectorized=True),
    lambda t: pso.minimize_multi(lambda m: [[1.0], [t]] * 3, [(-1, 1)], n_particles=6,
                                 vectorized=True),
    lambda t: pso.minimize_multi(t.failing, [(-1, 1)] * 2, n_particles=5, vectorized=True),
    lambda t: pso.minimize_multi(t.multi, [(-1, 1)] * 2, n_particles=5, callback=t.failing),
    # minimize_grey and GreyResult
    lambda t: read_all(pso.minimize_grey(t.grey, [(-1, 1)] * 2, max_iter=5,
                                         max_spread=[0.5, 0.2])),
    lambda t: pso.minimize_grey(t.failing, [(-1, 1)] * 2, max_iter=5),
    lambda t: pso.minimize_grey(t.repair, [(-1, 1)] * 2, max_iter=5),
    lambda t: pso.minimize_grey("grey_sphere", np.array([[-1.0, 1.0]] * 2), max_iter=5),
    lambda t: pso.minimize_grey("sphere", [(-1, 1)] * 2, max_iter=5),
    lambda t: pso.minimize_grey(t.grey, [(-1, 1)] * 2, max_spread=[-1.0, 1.0]),
    lambda t: pso.minimize_grey(t.grey, [(-1, 1)] * 2, max_spread=["x", t]),
    lambda t: pso.minimize_grey(t.grey, [(-1, 1)] * 2, representation="x"),
    # results as data
    lambda t: as_data(pso.minimize(t.objective, [(-1, 1)] * 2, max_iter=5)),
    lambda t: as_data(pso.minimize(t.objective, [(-1, 1)] * 2, max_iter=5, record_history=False)),
    lambda t: as_data(pso.minimize_multi(t.multi, [(-1, 1)] * 2, n_particles=5, max_iter=5)),
    lambda t: as_data(pso.minimize_grey(t.grey, [(-1, 1)] * 2, max_iter=5)),
    lambda t: corvalinth_native._rebuild_pso_result(
        {**pso.minimize("sphere", [(-1, 1)], max_iter=2).__reduce__()[1][0],
         "iterations": t}),
    lambda t: corvalinth_native._rebuild_pareto_front(
        {**pso.minimize_multi(t.multi, [(-1, 1)], n_particles=3, max_iter=2).__reduce__()[1][0],
         "front_history": (2, [0, 1, t], b"")}),
    lambda t: pickle.loads(pickle.dumps(pso.PanicException("x"))),
    lambda t: pso.minimize_grey(lambda a: a.sum(axis=(1, 2)), [(-1, 1)] * 2, max_iter=5,
                                vectorized=True, callback=t.callback, x0=[(0.0, 0.5)] * 2),
    lambda t: pso.minimize_grey(t.grey, [(-1, 1)] * 2, x0=[(0.0, 0.5), (t, 0.5)]),
    # Optimizer
    lambda t: driven_with_checkpoints(t, batch=False),
    lambda t: driven_with_checkpoints(t, batch=True),
    lambda t: pso.Optimizer([(-1, 1)] * 2, velocity=t),
    lambda t: pso.Optimizer([(-1, 1)] * 2, batch=True).tell([t]),
    lambda t: (lambda o: (o.ask(), o.tell(t)))(pso.Optimizer([(-1, 1)] * 2)),
    lambda t: (lambda o: (o.ask(), o.tell([t] * 30)))(pso.Optimizer([(-1, 1)] * 2, batch=True)),
    lambda t: pso.Optimizer([(-1, 1)]).__reduce__()[0]({"bounds": [(-1, 1)]}, b"damaged"),
    # free functions
    lambda t: pso.hypervolume(np.array([[1.0, 2.0], [2.0, 1.0]] * 5), [3, 3]),
    lambda t: pso.hypervolume([[1.0, 2.0], "ab"], [3, 3]),
    lambda t: pso.hypervolume([[1.0, 2.0]], [3, t]),
    lambda t: pso.hypervolume(np.asfortranarray(np.ones((6, 3))) * 0.5, [1, 1, 1]),
    lambda t: pso.hypervolume_contributions(np.ones((6, 2))[::2], [2, 2]),
    lambda t: pso.hypervolume_contributions([[1.0, 2.0], "ab"], [3, 3]),
    lambda t: pso.benchmark_info("levy") + pso.grey_benchmark_info("grey_sphere"),
    lambda t: pso.benchmark_info("nope"),
    lambda t: pso.grey_benchmark_info(t),
]


def run_quietly(call, tracked):
    try:
        call(tracked)
    except BaseException:  # noqa: B036 - includes the internal-error class
        pass


@pytest.mark.parametrize("call", CALLS)
def test_repeated_calls_leak_nothing(call):
    tracked = Tracked()
    methods = [tracked.objective, tracked.failing, tracked.constraint, tracked.repair,
               tracked.callback, tracked.batch, tracked.multi, tracked.growing, tracked.grey]
    for _ in range(20):
        run_quietly(call, tracked)
    gc.collect()
    # An instance of a result class holds a reference to its class, so a result that is never
    # freed shows in the class's count.
    watched = [m.__func__ for m in methods] + [tracked, pso.PsoResult, pso.ParetoFront,
                                                pso.GreyResult, pso.Optimizer]
    counts = [sys.getrefcount(w) for w in watched]
    objects = len(gc.get_objects())
    tracemalloc.start()
    snapshot = tracemalloc.take_snapshot()
    for _ in range(200):
        run_quietly(call, tracked)
    gc.collect()
    grown = sum(s.size_diff for s in tracemalloc.take_snapshot().compare_to(snapshot, "filename"))
    tracemalloc.stop()
    assert [sys.getrefcount(w) for w in watched] == counts
    assert len(gc.get_objects()) - objects < 50
    assert grown < 64 * 1024
