"""corvalinth.parallel against real executors: threads, a process pool and a Dask cluster."""

import doctest
import multiprocessing
import os
import pathlib
import pickle
import struct
import subprocess
import sys
from concurrent.futures import Future, ProcessPoolExecutor, ThreadPoolExecutor

import pytest
from parallel_objectives import (
    BOUNDS,
    front_run,
    grey_run,
    panicking_run,
    python_run,
    rastrigin,
    refuse,
    two_bowls,
)

import corvalinth as pso
from corvalinth import parallel

HELPERS = pathlib.Path(__file__).with_name("parallel_objectives.py")


def bits(value):
    if isinstance(value, float):
        return struct.pack("<d", value)
    if isinstance(value, (list, tuple)):
        return [bits(v) for v in value]
    if isinstance(value, dict):
        return {k: bits(v) for k, v in value.items()}
    return value


def serial_run(**options):
    """The reference: the same per-point objective, vectorised in this process."""
    return pso.minimize(lambda X: [rastrigin(row) for row in X.tolist()], BOUNDS,
                        vectorized=True, **options)


RUN = {"n_particles": 7, "max_iter": 6, "seed": 11}


@pytest.fixture(scope="module")
def process_pool():
    # Spawned workers import the objectives by name, as on a cluster.
    with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        yield pool


@pytest.fixture(scope="module")
def dask_executor():
    distributed = pytest.importorskip(
        "distributed", reason="Dask's distributed scheduler is not installed")
    # The worker processes import the objectives by name: give them this folder.
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("PYTHONPATH", os.pathsep.join(
            [str(HELPERS.parent)] + [p for p in [os.environ.get("PYTHONPATH")] if p]))
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None)
    with cluster, distributed.Client(cluster) as client:
        yield client.get_executor()


@pytest.fixture(params=["threads", "processes", "dask"])
def executor(request):
    if request.param == "threads":
        with ThreadPoolExecutor(2) as pool:
            yield pool
    else:
        yield request.getfixturevalue({"processes": "process_pool",
                                       "dask": "dask_executor"}[request.param])


@pytest.mark.parametrize("chunksize", [None, 3, 100])
def test_batch_runs_equal_the_serial_vectorised_run_bit_for_bit(executor, chunksize):
    spread = pso.minimize(parallel.batch(rastrigin, executor, chunksize=chunksize), BOUNDS,
                          vectorized=True, **RUN)
    assert bits(spread.to_dict()) == bits(serial_run(**RUN).to_dict())
    assert spread.evaluations == 7 * 7


def test_worker_errors_surface_as_the_workers_exception(executor):
    with pytest.raises(ValueError, match="cannot evaluate 3 coordinates"):
        pso.minimize(parallel.batch(refuse, executor), BOUNDS, vectorized=True, max_iter=3)
    with pytest.raises(pso.PanicException, match="invalid bound in dimension 0"):
        parallel.multistart(panicking_run, [1, 2], executor)


@pytest.mark.parametrize("run", [python_run, front_run, grey_run])
def test_multistart_returns_every_run_in_seed_order(executor, run):
    seeds = [5, 1, 3]
    spread = parallel.multistart(run, seeds, executor)
    assert [type(r) for r in spread] == [type(run(1))] * 3
    assert bits([r.to_dict() for r in spread]) == bits([run(s).to_dict() for s in seeds])


def test_multistart_defaults_to_threads():
    native = lambda seed: pso.minimize("rastrigin", BOUNDS, max_iter=20, seed=seed)  # noqa: E731
    runs = parallel.multistart(native, range(4))
    assert [r.best_value for r in runs] == [native(s).best_value for s in range(4)]
    assert parallel.multistart(native, []) == []
    with pytest.raises(ValueError, match="cannot evaluate"):
        parallel.multistart(lambda seed: refuse([seed] * 3), [1, 2])


@pytest.mark.parametrize("call, error, message", [
    (lambda: parallel.batch(42, None), TypeError, "objective must be callable"),
    (lambda: parallel.batch(rastrigin, object()), TypeError, "must be a concurrent.futures"),
    (lambda: parallel.batch(rastrigin, ThreadPoolExecutor(1), chunksize=0), ValueError,
     "chunksize must be >= 1"),
    (lambda: parallel.batch(rastrigin, ThreadPoolExecutor(1), chunksize=2.0), TypeError,
     "chunksize must be an int"),
    (lambda: parallel.multistart(None, [1]), TypeError, "fn must be callable"),
    (lambda: parallel.multistart(python_run, [1], executor=42), TypeError,
     "must be a concurrent.futures"),
])
def test_bad_arguments_are_refused(call, error, message):
    with pytest.raises(error, match=message):
        call()


class LyingExecutor:
    """Runs each task at once, then answers with what `answer(future)` makes of its future."""

    def __init__(self, answer):
        self.answer, self.cancelled = answer, 0

    def submit(self, fn, *args):
        future = Future()
        future.set_result(fn(*args))
        future.cancel = lambda: setattr(self, "cancelled", self.cancelled + 1)
        return self.answer(future)


def dict_future(future):
    rows = future.result()
    changed = Future()
    changed.set_result(dict.fromkeys(rows if isinstance(rows, list) else [rows]))
    return changed


@pytest.mark.parametrize("answer, message", [
    (lambda future: None, "executor.submit returned NoneType, not a future"),
    (lambda future: 42, "executor.submit returned int, not a future"),
    (dict_future, "a future of the executor returned dict, not the list of 2 values"),
], ids=["None", "int", "dict"])
def test_an_executor_that_does_not_answer_with_futures_of_lists_is_refused(answer, message):
    executor = LyingExecutor(answer)
    with pytest.raises(TypeError, match=message):
        pso.minimize(parallel.batch(rastrigin, executor, chunksize=2), BOUNDS, vectorized=True,
                     **RUN)
    if answer is not dict_future:
        with pytest.raises(TypeError, match=message):
            parallel.multistart(python_run, [1, 2], executor)


def test_docstring_examples():
    runner = doctest.DocTestRunner()
    for test in doctest.DocTestFinder().find(parallel):
        runner.run(test)
    assert runner.failures == 0 and runner.tries >= 4


def test_importing_needs_only_the_standard_library():
    script = ("import sys; import corvalinth.parallel;"
              "print(sorted(m for m in ('numpy', 'concurrent.futures', 'dask') if m in sys.modules))")
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, check=True)
    assert out.stdout.strip() == b"[]"


FORMS = {"per_particle": {}, "batch": {"batch": True}, "asynchronous": {"asynchronous": True}}


# The kinds of optimizer and the objective each is driven with.
KINDS = {"single": (pso.Optimizer, rastrigin), "multi": (pso.MultiOptimizer, two_bowls)}


def replayed_with_objective(events, settings, kind="single"):
    """A fresh optimizer led through `events`, each told value computed here again: checks that
    every value told was the objective's value at the point handed out under its ticket."""
    cls, objective = KINDS[kind]
    optimizer, points = cls(BOUNDS, **settings), {}
    for ticket, value in events:
        if value is None:
            asked_ticket, points[ticket] = optimizer.ask()
            assert asked_ticket == ticket
        else:
            assert bits(objective(points[ticket])) == bits(value)
            optimizer.tell(ticket, value)
    return optimizer.result()


def most_out(events):
    out, most = set(), 0
    for ticket, value in events:
        (out.add if value is None else out.discard)(ticket)
        most = max(most, len(out))
    return most


# The settings of a short run of each kind.
KIND_RUNS = {"single": RUN,
             "multi": {"n_particles": 5, "max_iter": 3, "archive_size": 4, "seed": 2}}


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("form", FORMS)
def test_run_gives_the_run_its_form_promises(executor, form, kind):
    """The synchronous forms give the run driven here step by step; the asynchronous one gives
    the run its own events replay, with as many points out as workers."""
    cls, objective = KINDS[kind]
    settings = dict(KIND_RUNS[kind], **FORMS[form])
    optimizer = cls(BOUNDS, **settings)
    result = parallel.run(optimizer, objective, executor, workers=2)
    if form == "asynchronous":
        expected = replayed_with_objective(optimizer.events, settings, kind)
        assert most_out(optimizer.events) == 2
    else:
        driven = cls(BOUNDS, **settings)
        while not driven.done:
            asked = driven.ask()
            driven.tell([objective(r) for r in asked.tolist()] if form == "batch"
                        else objective(asked))
        expected = driven.result()
    assert bits(result.to_dict()) == bits(expected.to_dict())


@pytest.mark.parametrize("form", FORMS)
def test_run_raises_the_workers_exception(executor, form):
    optimizer = pso.Optimizer(BOUNDS, **RUN, **FORMS[form])
    with pytest.raises(ValueError, match="cannot evaluate 3 coordinates"):
        parallel.run(optimizer, refuse, executor)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("form", FORMS)
def test_a_checkpoint_resumes_the_run(form, kind):
    settings = dict(RUN, **FORMS[form])
    cls, objective = KINDS[kind]
    saved = []
    with ThreadPoolExecutor(3) as pool:
        whole = parallel.run(cls(BOUNDS, **settings), objective, pool,
                             checkpoint=lambda o: saved.append(pickle.dumps(o)))
        resumed_from = pickle.loads(saved[len(saved) // 2])
        resumed = parallel.run(resumed_from, objective, pool)
    assert resumed.evaluations == whole.evaluations
    if form == "asynchronous":
        assert bits(resumed.to_dict()) == bits(
            replayed_with_objective(resumed_from.events, settings, kind).to_dict())
    else:
        assert bits(resumed.to_dict()) == bits(whole.to_dict())


@pytest.mark.parametrize("call, error, message", [
    (lambda o, p: parallel.run(o, 3, p), TypeError, "objective must be callable"),
    (lambda o, p: parallel.run(o, rastrigin, object()), TypeError, "executor must be"),
    (lambda o, p: parallel.run(o, rastrigin, p, workers=0), ValueError, "workers must be >= 1"),
    (lambda o, p: parallel.run(o, rastrigin, p, workers=1.5), TypeError, "workers must be an int"),
    (lambda o, p: parallel.run(o, rastrigin, p, prefetch=-1), ValueError, "prefetch must be >= 0"),
    (lambda o, p: parallel.run(o, rastrigin, p, prefetch=None), TypeError, "prefetch must be an"),
    (lambda o, p: parallel.run(o, rastrigin, LyingExecutor(lambda f: 5)), TypeError,
     "not a future"),
])
def test_run_refuses_bad_arguments(call, error, message):
    optimizer = pso.Optimizer(BOUNDS, **RUN, asynchronous=True)
    with ThreadPoolExecutor(1) as pool, pytest.raises(error, match=message):
        call(optimizer, pool)


def test_prefetch_keeps_more_points_in_flight_than_workers():
    settings = dict(RUN, asynchronous=True)
    optimizer = pso.Optimizer(BOUNDS, **settings)
    with ThreadPoolExecutor(2) as pool:
        result = parallel.run(optimizer, rastrigin, pool, workers=2, prefetch=1)
    assert most_out(optimizer.events) == 3
    assert bits(result.to_dict()) == bits(replayed_with_objective(optimizer.events,
                                                                  settings).to_dict())
