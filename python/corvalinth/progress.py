"""A progress display for long runs, built on the per-iteration callback of ``minimize``.

>>> import corvalinth as pso
>>> from corvalinth import progress
>>> r = pso.minimize(lambda x: sum(v * v for v in x), bounds=[(-5, 5)] * 4, max_iter=200,
...                  seed=1, callback=progress.bar(200))          # doctest: +SKIP
corvalinth: 100%|##########| 200/200 [00:00<00:00, 2311.52it/s, best=1.2e-19]

The display is a tqdm bar when tqdm is installed (``pip install tqdm`` or
``pip install "corvalinth[progress]"``) and a plain line otherwise, rewritten in place on a
terminal and written anew at each redraw into a file or pipe; both show the iteration count and
the best value so far. It redraws at most every ``mininterval`` seconds,
and reads the clock only every few calls when they come fast, so a call between redraws
costs two stores and a counter update.

Like any callback, it makes a native-benchmark run hold the interpreter lock for the whole run
(without a callback such a run releases it).

The display closes itself after the iteration numbered ``total - 1``. A run that stops earlier
(a target, stagnation, a budget) leaves it open: use it as a context manager, or call
:meth:`Progress.close`, to end the line::

    with progress.bar(1000) as show:
        r = pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 10, max_iter=1000, target=1.0,
                         callback=show)
"""

from __future__ import annotations

import sys
import time
from typing import IO, Any, Self

__all__ = ["bar", "Progress"]


class Progress:
    """A ``minimize`` callback that shows how far a run has come; build it with :func:`bar`.

    Called as ``callback(iteration, best_value)`` once per iteration, it returns ``None``, so it
    never stops a run. Attributes ``iteration`` (iterations done) and ``best_value`` (the last
    best value seen, ``None`` before the first call) can be read at any time.
    """

    def __init__(self, total: int | None, desc: str, file: IO[str] | None, mininterval: float,
                 plain: bool, *, shown: str = "best", initial: int = 0) -> None:
        if total is not None and total < 0:
            raise ValueError(f"total must be >= 0 (or None when unknown), got {total}")
        if initial < 0:
            raise ValueError(f"initial must be >= 0, got {initial}")
        if not mininterval >= 0:
            raise ValueError(f"mininterval must be >= 0 seconds, got {mininterval}")
        self.total = total
        self.desc = desc
        self.file = file
        self.mininterval = mininterval
        self.shown = shown
        self.iteration = initial
        self.best_value: float | None = None
        self.closed = False
        self._next_draw = 0.0
        self._last_tick = 0.0
        self._stride = 1
        self._countdown = 1
        self._tqdm = None if plain else _make_tqdm(total, desc, file, mininterval, initial)
        self._width = 0  # length of the plain line last written, to blank it out when it shrinks
        self._drawn = -1  # the iteration the plain line last showed

    @property
    def uses_tqdm(self) -> bool:
        """Whether the display is a tqdm bar (else a plain line)."""
        return self._tqdm is not None

    def __call__(self, iteration: int, best_value: float) -> None:
        # The common call only stores and counts down: the clock is read every `_stride` calls,
        # a stride that grows while calls come faster than redraws are due.
        self.iteration = iteration + 1
        self.best_value = best_value
        self._countdown -= 1
        if self._countdown <= 0:
            self._tick()

    def _tick(self) -> None:
        if self.closed:
            self._countdown = 1 << 62
            return
        if self.total is not None and self.iteration >= self.total:
            self.close()  # draws the final state
            return
        now = time.monotonic()
        if now >= self._next_draw:
            self._next_draw = now + self.mininterval
            self._draw()
        elif now - self._last_tick < self.mininterval / 8 and self._stride < 1024:
            self._stride *= 2
        self._last_tick = now
        left = self.total - self.iteration if self.total is not None else self._stride
        self._countdown = min(self._stride, left)

    def _draw(self) -> None:
        best = f"{self.best_value:.6g}"
        if self._tqdm is not None:
            self._tqdm.n = self.iteration
            self._tqdm.set_postfix_str(f"{self.shown}={best}", refresh=False)
            self._tqdm.refresh()
            return
        of = f"/{self.total}" if self.total is not None else ""
        line = f"{self.desc}: iteration {self.iteration}{of}, {self.shown} {best}"
        out = self._out()
        if _is_terminal(out):
            out.write("\r" + line.ljust(self._width))
            self._width = len(line)
        else:  # a log or a pipe: one line per redraw, readable afterwards
            out.write(line + "\n")
        out.flush()
        self._drawn = self.iteration

    def _out(self) -> IO[str]:
        return self.file if self.file is not None else sys.stderr

    def close(self) -> None:
        """Shows the last state and ends the display (closing it again does nothing)."""
        if self.closed:
            return
        self.closed = True
        if self._tqdm is not None:
            self._tqdm.n = self.iteration
            if self.best_value is not None:
                self._tqdm.set_postfix_str(f"{self.shown}={self.best_value:.6g}", refresh=False)
            self._tqdm.close()
            return
        if self.best_value is not None and self._drawn != self.iteration:
            self._draw()
        out = self._out()
        if _is_terminal(out) and self._width:
            out.write("\n")
            out.flush()

    def __enter__(self) -> Self:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        of = f"/{self.total}" if self.total is not None else ""
        return (f"<Progress {self.desc!r} {self.iteration}{of} best={self.best_value!r}"
                f"{' closed' if self.closed else ''}>")


def bar(total: int | None = None, *, desc: str = "corvalinth", file: IO[str] | None = None,
        mininterval: float = 0.1, plain: bool = False, shown: str = "best",
        initial: int = 0) -> Progress:
    """A progress display to pass as ``callback=`` to ``minimize``.

    Args:
        total: the number of iterations the run may take, usually its ``max_iter``; ``None``
            when unknown (the display then counts without a percentage).
        desc: the label in front of the display.
        file: where to write; standard error by default.
        mininterval: the least time between two redraws, in seconds.
        plain: write a plain line even when tqdm is installed.
        shown: the name under which the callback's second argument is shown: ``"best"`` for
            ``minimize`` and ``minimize_grey``; ``"front"`` suits ``minimize_multi``, whose
            callback gets the size of the front instead of a best value.
        initial: the iterations already done when the display starts, for a run resumed from
            a checkpoint (``Optimizer(..., progress=True)`` passes its iteration).

    Returns:
        Progress: the callback; also a context manager that closes the display on exit.

    Example::

        r = pso.minimize(f, bounds=[(-5, 5)] * 10, max_iter=500, callback=progress.bar(500))
    """
    return Progress(total, desc, file, mininterval, plain, shown=shown, initial=initial)


def _is_terminal(stream: IO[str]) -> bool:
    isatty = getattr(stream, "isatty", None)
    return bool(isatty and isatty())


def _make_tqdm(total: int | None, desc: str, file: IO[str] | None, mininterval: float,
               initial: int) -> Any:
    """A tqdm bar, or None when tqdm is not installed."""
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    # The bar is redrawn by Progress itself, at most every mininterval seconds.
    return tqdm(total=total, desc=desc, file=file, mininterval=mininterval, leave=True,
                unit="it", dynamic_ncols=True, initial=initial)
