"""corvalinth.progress: what the display shows, when it draws and closes, and that a run is
unchanged by it."""

import io
import sys
import typing

import pytest

import corvalinth as pso
from corvalinth import progress


def sphere(x):
    return sum(v * v for v in x)


def run(callback, **settings):
    return pso.minimize(sphere, bounds=[(-5, 5)] * 3, n_particles=8, seed=4,
                        **{"max_iter": 40, "callback": callback, **settings})


@pytest.fixture
def without_tqdm(monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm", None)


class Terminal(io.StringIO):
    def isatty(self):
        return True


def test_plain_line_is_rewritten_in_place_on_a_terminal(without_tqdm):
    out = Terminal()
    show = progress.bar(40, file=out, mininterval=0)
    result = run(show)
    assert not show.uses_tqdm and show.closed
    assert (show.iteration, show.best_value) == (40, result.best_value)
    frames = out.getvalue().split("\r")[1:]
    assert len(frames) == 40
    assert frames[-1] == f"corvalinth: iteration 40/40, best {result.best_value:.6g}\n"


def test_plain_lines_in_a_file_are_one_per_redraw(without_tqdm):
    out = io.StringIO()
    result = run(progress.bar(40, file=out, mininterval=0))
    lines = out.getvalue().splitlines()
    assert "\r" not in out.getvalue() and len(lines) == 40
    assert lines[0].startswith("corvalinth: iteration 1/40, best ")
    assert lines[-1] == f"corvalinth: iteration 40/40, best {result.best_value:.6g}"


def test_a_multi_objective_run_shows_its_front_size(without_tqdm):
    out = io.StringIO()
    front = pso.minimize_multi(lambda x: [x[0], 1.0 - x[0] + x[1] ** 2], [(0.0, 1.0)] * 2,
                               n_particles=10, max_iter=12, seed=4, archive_size=5,
                               callback=progress.bar(12, file=out, mininterval=0, shown="front"))
    lines = out.getvalue().splitlines()
    assert len(lines) == 12 and front.stop_reason == "max_iterations"
    assert lines[-1] == f"corvalinth: iteration 12/12, front {len(front.positions)}"


def test_tqdm_bar_shows_count_and_best():
    pytest.importorskip("tqdm")
    out = io.StringIO()
    show = progress.bar(40, file=out, desc="search")
    result = run(show)
    assert show.uses_tqdm and show.closed
    last = out.getvalue().rstrip().split("\r")[-1]
    assert last.startswith("search: 100%") and "40/40" in last
    assert f"best={result.best_value:.6g}" in last


def test_early_stop_is_closed_by_the_context_manager(without_tqdm):
    out = io.StringIO()
    with progress.bar(1000, file=out) as show:
        result = pso.minimize("sphere", bounds=[(-5, 5)] * 3, max_iter=1000, seed=4,
                              target=1e-3, callback=show)
        assert not show.closed
    assert result.stop_reason == "target" and show.closed
    assert show.iteration == len(result.convergence) < 1000
    shown = out.getvalue()
    assert shown.endswith(f"{len(result.convergence)}/1000, best {result.best_value:.6g}\n")
    show.close()  # a second close writes nothing more
    assert out.getvalue() == shown


@pytest.mark.parametrize("plain", [True, False])
def test_the_display_changes_nothing_in_the_run(plain):
    shown = run(progress.bar(40, file=io.StringIO(), plain=plain))
    quiet = run(lambda iteration, best: None)
    assert (shown.best_position, shown.convergence, shown.history, shown.stop_reason) == (
        quiet.best_position, quiet.convergence, quiet.history, quiet.stop_reason)


def test_redraws_are_throttled_and_the_count_stays_exact(without_tqdm):
    out = io.StringIO()
    show = progress.bar(None, file=out, mininterval=3600)
    for iteration in range(5000):
        show(iteration, 1.0 / (iteration + 1))
    assert out.getvalue().count("\n") == 1  # only the first call drew
    assert (show.iteration, show.best_value) == (5000, 1 / 5000)
    show.close()
    assert out.getvalue().splitlines()[-1] == "corvalinth: iteration 5000, best 0.0002"


def test_the_last_iteration_closes_even_within_a_long_stride(without_tqdm):
    out = io.StringIO()
    show = progress.bar(3000, file=out, mininterval=3600)
    for iteration in range(3000):
        show(iteration, 2.0)
    assert show.closed and out.getvalue().endswith("iteration 3000/3000, best 2\n")


@pytest.mark.parametrize("arguments, message", [
    ({"total": -1}, "total must be >= 0"),
    ({"mininterval": float("nan")}, "mininterval must be >= 0"),
    ({"mininterval": -0.5}, "mininterval must be >= 0"),
])
def test_bad_arguments(arguments, message):
    with pytest.raises(ValueError, match=message):
        progress.bar(**arguments)


class Recorded(progress.Progress):
    """A plain display into a string that keeps every iteration it was shown."""

    made: typing.ClassVar[list["Recorded"]] = []

    def __init__(self, total, *, initial=0):
        super().__init__(total, "corvalinth", io.StringIO(), 0.0, True, initial=initial)
        self.shown_iterations = []
        Recorded.made.append(self)

    def __call__(self, iteration, best_value):
        self.shown_iterations.append(iteration)
        super().__call__(iteration, best_value)


@pytest.mark.parametrize("form", [{}, {"batch": True}, {"asynchronous": True}])
def test_an_optimizer_display_counts_on_after_a_checkpoint(monkeypatch, form):
    import pickle

    monkeypatch.setattr(progress, "bar", Recorded)
    Recorded.made = []
    optimizer = pso.Optimizer([(-5, 5)] * 2, n_particles=4, max_iter=9, seed=2, progress=True,
                              **form)

    def step(opt):
        asked = opt.ask()
        if isinstance(asked, tuple):
            opt.tell(asked[0], sphere(asked[1]))
        elif hasattr(asked, "tolist"):
            opt.tell([sphere(row) for row in asked.tolist()])
        else:
            opt.tell(sphere(asked))

    while optimizer.iteration < 5:
        step(optimizer)
    resumed = pickle.loads(pickle.dumps(optimizer))
    while not resumed.done:
        step(resumed)
    first, second = Recorded.made
    assert first.shown_iterations == [0, 1, 2, 3, 4] and not first.closed
    assert second.total == 9 and second.shown_iterations == [5, 6, 7, 8]
    assert second.closed and second.iteration == 9 and second.best_value == resumed.best_value
