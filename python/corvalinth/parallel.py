"""Runs spread over threads, processes and clusters.

Both helpers work with any :class:`concurrent.futures.Executor`: a
``ThreadPoolExecutor``, a ``ProcessPoolExecutor``, a Dask
``Client.get_executor()``, an ``mpi4py.futures.MPIPoolExecutor``... This module
imports nothing beyond the standard library; the executor brings its own.

- :func:`batch` spreads the evaluations of one run: it turns a per-point
  objective into a vectorised one for ``minimize(..., vectorized=True)``.
- :func:`multistart` spreads whole runs: one per seed.
- :func:`run` drives an :class:`~corvalinth.Optimizer` (any form) with an
  objective evaluated on the executor, keeping its workers busy.

Work sent to other processes travels by pickle: the objective (or the run
function) must be importable there, so define it at module level, not as a
lambda or a nested function. Results come back pickled too; every result
class supports it.
"""

from __future__ import annotations

import os
from collections.abc import Callable, Iterable
from typing import TYPE_CHECKING, Any, TypeVar

if TYPE_CHECKING:
    from concurrent.futures import Executor, Future

    import numpy as np
    from numpy.typing import NDArray

_Result = TypeVar("_Result")

__all__ = ["batch", "multistart", "run"]


def _evaluate_rows(objective: Callable[..., Any], rows: list[list[float]],
                   args: tuple[Any, ...] = ()) -> list[Any]:
    """The values of ``objective(row, *args)`` on ``rows``, in order (runs in a worker)."""
    return [objective(row, *args) for row in rows]


def _submit(executor: Executor, fn: Callable[..., _Result], *args: Any) -> Future[_Result]:
    """``executor.submit(fn, *args)``, refused unless it answers with a future."""
    future = executor.submit(fn, *args)
    if not all(callable(getattr(future, name, None)) for name in ("result", "cancel")):
        raise TypeError(f"executor.submit returned {type(future).__name__}, not a future "
                        "(an object with result and cancel)")
    return future


def _results_in_order(futures: list[Future[_Result]]) -> list[_Result]:
    """The futures' results in submission order. The first failure, in that order, is raised
    as the worker raised it, after the futures not yet started are cancelled."""
    try:
        return [future.result() for future in futures]
    except BaseException:
        for future in futures:
            future.cancel()
        raise


def _cancelling_on_failure(submit: Callable[[list[Future[_Result]]], Any]) -> list[Future[_Result]]:
    """The futures ``submit`` makes; if it fails part-way, the ones made so far are cancelled."""
    futures: list[Future[_Result]] = []
    try:
        submit(futures)
    except BaseException:
        for future in futures:
            future.cancel()
        raise
    return futures


def _check_chunksize(chunksize: int | None) -> None:
    if chunksize is None:
        return
    if isinstance(chunksize, bool) or not isinstance(chunksize, int):
        raise TypeError(f"chunksize must be an int or None, not {type(chunksize).__name__}")
    if chunksize < 1:
        raise ValueError(f"chunksize must be >= 1, got {chunksize}")


class _RowwiseObjective:
    """A vectorised objective that evaluates the rows of the swarm on an executor."""

    def __init__(self, objective: Callable[[list[float]], Any], executor: Executor,
                 chunksize: int | None) -> None:
        self.objective = objective
        self.executor = executor
        self.chunksize = chunksize

    def __call__(self, points: NDArray[np.float64], *args: Any) -> list[Any]:
        # One list of floats per particle: what a per-point objective receives without
        # vectorized=True, and cheap to pickle; with named parameters, one dict per particle.
        rows = points.tolist() if hasattr(points, "tolist") else [
            row if isinstance(row, dict) else list(row) for row in points]
        size = self.chunksize or 1
        starts = range(0, len(rows), size)
        futures: list[Future[list[Any]]] = _cancelling_on_failure(lambda made: made.extend(
            _submit(self.executor, _evaluate_rows, self.objective, rows[start:start + size],
                    args)
            for start in starts))
        values = []
        for start, chunk in zip(starts, _results_in_order(futures), strict=True):
            # What _evaluate_rows returns: anything else came from the executor, not the objective.
            expected = len(rows[start:start + size])
            if type(chunk) is not list or len(chunk) != expected:
                raise TypeError(f"a future of the executor returned {type(chunk).__name__}, not "
                                f"the list of {expected} values its task computed")
            values.extend(chunk)
        return values

    def __repr__(self) -> str:
        return f"batch({self.objective!r}, {self.executor!r}, chunksize={self.chunksize!r})"


def batch(objective: Callable[[list[float]], Any], executor: Executor,
          chunksize: int | None = None) -> Callable[[NDArray[np.float64]], list[Any]]:
    """A vectorised objective that evaluates a per-point ``objective`` on ``executor``.

    Pass the result to ``minimize(..., vectorized=True)``. Each iteration the
    swarm's rows are sent to the executor, each as a list of floats (what
    ``objective`` receives without ``vectorized=True``; a dict when the bounds
    name the parameters), in chunks of
    ``chunksize`` rows (one row per task when None), and the values come back
    in row order: a seeded run gives the same result, bit for bit, as the serial
    vectorised run ``lambda X: [objective(row) for row in X.tolist()]``.

    An exception raised by ``objective`` in a worker is raised by ``minimize``
    as the worker raised it (the run stops calling the objective after it).
    The executor is not shut down: it belongs to the caller.

    Worth it when one evaluation costs much more than sending a point to a
    worker (a millisecond or more for a process pool).

    >>> from concurrent.futures import ThreadPoolExecutor
    >>> import corvalinth as pso
    >>> from corvalinth import parallel
    >>> with ThreadPoolExecutor(2) as pool:
    ...     r = pso.minimize(parallel.batch(sum, pool), [(0, 1)] * 2, vectorized=True,
    ...                      seed=1, max_iter=10)
    >>> r.best_value < 0.1
    True
    """
    if not callable(objective):
        raise TypeError(f"objective must be callable, not {type(objective).__name__}")
    if not callable(getattr(executor, "submit", None)):
        raise TypeError("executor must be a concurrent.futures.Executor (an object with submit)")
    _check_chunksize(chunksize)
    return _RowwiseObjective(objective, executor, chunksize)


def multistart(fn: Callable[[int], _Result], seeds: Iterable[int],
               executor: Executor | None = None) -> list[_Result]:
    """``[fn(seed) for seed in seeds]``, the calls spread over ``executor``.

    Use it for independent runs from several seeds, e.g.
    ``multistart(lambda s: pso.minimize("rastrigin", bounds, seed=s), range(8))``.
    The results come back in the order of ``seeds``; the first failure, in that
    order, is raised as ``fn`` raised it.

    With ``executor=None`` the calls run on threads (one per seed, at most one
    per core): native objectives run without the interpreter lock, so their runs
    proceed in parallel. A Python objective holds the lock while it runs: give a
    ``ProcessPoolExecutor`` or a Dask ``Client.get_executor()`` instead (``fn``
    must then be importable by the workers). The executor is not shut down.

    On threads, Ctrl-C and the first failure end the call at once: the
    corvalinth runs still going stop within milliseconds (they raise
    RuntimeError, which is dropped with their lost results), the seeds not yet
    started never start, and the call does not wait for a thread still inside
    code of ``fn``'s own. The failure raised is the first, in the order of
    ``seeds``, among the calls that have failed by then.
    """
    if not callable(fn):
        raise TypeError(f"fn must be callable, not {type(fn).__name__}")
    seeds = list(seeds)
    if executor is not None:
        if not callable(getattr(executor, "submit", None)):
            raise TypeError("executor must be a concurrent.futures.Executor "
                            "(an object with submit)")
        return _results_in_order(_cancelling_on_failure(
            lambda made: made.extend(_submit(executor, fn, seed) for seed in seeds)))
    if not seeds:
        return []
    return _multistart_on_threads(fn, seeds)


def _run_watching(fn: Callable[[int], _Result], seed: int, stop: Any) -> _Result:
    """``fn(seed)`` on a worker thread whose corvalinth runs stop once ``stop`` is set."""
    import corvalinth_native  # type: ignore[import-not-found]  # the extension ships no stub

    if stop.is_set():  # the call already ended: a seed that starts late does nothing
        raise RuntimeError("run stopped: its thread's stop event was set")
    corvalinth_native._watch_stop_event(stop)
    try:
        return fn(seed)
    finally:
        corvalinth_native._watch_stop_event(None)


def _multistart_on_threads(fn: Callable[[int], _Result], seeds: list[int]) -> list[_Result]:
    import threading  # only when threads are asked for
    from concurrent.futures import FIRST_EXCEPTION, ThreadPoolExecutor, wait

    stop = threading.Event()
    threads = ThreadPoolExecutor(max_workers=min(len(seeds), os.cpu_count() or 1))
    try:
        futures = [threads.submit(_run_watching, fn, seed, stop) for seed in seeds]
        wait(futures, return_when=FIRST_EXCEPTION)
        failed = [f for f in futures if f.done() and f.exception() is not None]
        if failed:
            failed[0].result()  # raises the failure as fn raised it
    except BaseException:
        # Ctrl-C or a failure: the other results are lost, so nothing waits for them.
        stop.set()
        threads.shutdown(wait=False, cancel_futures=True)
        raise
    threads.shutdown(wait=True)
    return [future.result() for future in futures]


class _Completions:
    """Futures in the order they finish: each one's done callback queues it."""

    def __init__(self) -> None:
        import queue  # only when run is used

        self._queue: queue.SimpleQueue[Future[Any]] = queue.SimpleQueue()
        self.pending: dict[Future[Any], int] = {}

    def add(self, future: Future[Any], ticket: int) -> None:
        if not callable(getattr(future, "add_done_callback", None)):
            future.cancel()
            raise TypeError(f"executor.submit returned {type(future).__name__}, not a future "
                            "(an object with add_done_callback)")
        self.pending[future] = ticket
        future.add_done_callback(self._queue.put)

    def next_finished(self) -> list[tuple[int, Future[Any]]]:
        """The futures finished by now, at least one, as (ticket, future) in ticket order. Waits
        in short slices, so Ctrl-C is answered at once."""
        import queue

        finished: list[Future[Any]] = []
        while not finished:
            try:
                finished.append(self._queue.get(timeout=0.05))
            except queue.Empty:
                continue
        while True:
            try:
                finished.append(self._queue.get_nowait())
            except queue.Empty:
                break
        return sorted((self.pending.pop(f), f) for f in finished if f in self.pending)

    def cancel_all(self) -> None:
        for future in self.pending:
            future.cancel()
        self.pending.clear()


def run(optimizer: Any, objective: Callable[[list[float]], Any], executor: Executor, *,
        workers: int | None = None,
        checkpoint: Callable[[Any], Any] | None = None,
        prefetch: int = 0) -> Any:
    """Drives ``optimizer`` to its end with ``objective`` evaluated on ``executor``.

    Returns ``optimizer.result()``. Each point goes to a task as a list (what
    ``objective`` receives from ``minimize``), or as a dict when the optimizer's
    bounds name the parameters. What is kept in flight depends on the
    optimizer's form:

    - ``asynchronous=True``: up to ``workers`` points at once (default: as many
      as the optimizer hands out, at most ``n_particles``); as soon as one
      value is back it is told and the next point is asked, so no worker waits
      for a slow evaluation of another. Values finished together are told in
      ticket order. The run depends on the order the values come back in; its
      ``events`` record it, and replaying them repeats the run bit for bit.
    - ``batch=True``: the whole swarm, one row per task, told in row order once
      every row is back: the serial run bit for bit.
    - the per-particle form: one point at a time, as ``minimize`` would.

    ``prefetch`` more points than ``workers`` are kept in flight in the
    asynchronous form: they wait in the executor's queue, so a worker that
    finishes starts the next evaluation at once instead of idling while its
    value travels back here, is told, and the next point travels out (about a
    millisecond on a process pool, tens of milliseconds on a busy Dask
    cluster). ``prefetch=1`` brings a process pool close to its ideal
    throughput; each point in flight moves with the bests a little older.
    Ignored without ``workers`` and by the other forms.

    ``optimizer`` may also be a ``MultiOptimizer`` (``objective`` then
    returns one value per objective): each form is driven as the
    ``Optimizer``'s is, and the front of the batch and per-particle forms is
    ``minimize_multi``'s, bit for bit.

    ``checkpoint(optimizer)``, when given, is called after every round of
    tells, at a point where ``pickle.dumps(optimizer)`` saves a state that
    resumes the run. For the asynchronous form the state keeps the points
    still out (``optimizer.out``); ``run`` on the restored optimizer sends
    them out again before asking for new ones.

    The first failure of ``objective`` is raised as the worker raised it; on a
    failure or Ctrl-C the tasks not yet started are cancelled and the call
    returns at once. The executor is not shut down: it belongs to the caller.
    """
    if not callable(objective):
        raise TypeError(f"objective must be callable, not {type(objective).__name__}")
    if not callable(getattr(executor, "submit", None)):
        raise TypeError("executor must be a concurrent.futures.Executor (an object with submit)")
    if workers is not None:
        if isinstance(workers, bool) or not isinstance(workers, int):
            raise TypeError(f"workers must be an int or None, not {type(workers).__name__}")
        if workers < 1:
            raise ValueError(f"workers must be >= 1, got {workers}")
    if isinstance(prefetch, bool) or not isinstance(prefetch, int):
        raise TypeError(f"prefetch must be an int, not {type(prefetch).__name__}")
    if prefetch < 0:
        raise ValueError(f"prefetch must be >= 0, got {prefetch}")
    completions = _Completions()
    try:
        if getattr(optimizer, "events", None) is not None:
            in_flight = None if workers is None else workers + prefetch
            _run_asynchronous(optimizer, objective, executor, in_flight, checkpoint, completions)
        else:
            _run_synchronous(optimizer, objective, executor, checkpoint, completions)
    except BaseException:
        completions.cancel_all()
        raise
    return optimizer.result()


def _run_asynchronous(optimizer: Any, objective: Callable[[list[float]], Any],
                      executor: Executor, in_flight: int | None,
                      checkpoint: Callable[[Any], Any] | None,
                      completions: _Completions) -> None:
    for ticket, point in optimizer.out:  # a restored run's points out, sent out again
        completions.add(_submit(executor, objective, point), ticket)
    while not optimizer.done:
        while in_flight is None or len(completions.pending) < in_flight:
            asked = optimizer.ask()
            if asked is None:
                break
            ticket, point = asked
            completions.add(_submit(executor, objective, point), ticket)
        if not completions.pending:  # never for a run built by Optimizer: no wait without end
            raise RuntimeError("the optimizer handed out no point and has none out")
        for ticket, future in completions.next_finished():
            optimizer.tell(ticket, future.result())
            if optimizer.done:
                break
        if checkpoint is not None:
            checkpoint(optimizer)
    completions.cancel_all()  # values the finished run no longer needs


def _run_synchronous(optimizer: Any, objective: Callable[[list[float]], Any],
                     executor: Executor, checkpoint: Callable[[Any], Any] | None,
                     completions: _Completions) -> None:
    while not optimizer.done:
        asked = optimizer.ask()
        # The batch form hands out an array, or a list of dicts with named parameters.
        whole_swarm = hasattr(asked, "tolist") or (
            isinstance(asked, list) and bool(asked) and isinstance(asked[0], dict))
        rows = asked.tolist() if hasattr(asked, "tolist") else asked if whole_swarm else [asked]
        for k, row in enumerate(rows):
            completions.add(_submit(executor, objective, row), k)
        values: list[Any] = [None] * len(rows)
        while completions.pending:
            for k, future in completions.next_finished():
                values[k] = future.result()
        optimizer.tell(values if whole_swarm else values[0])
        if checkpoint is not None:
            checkpoint(optimizer)
