"""A callback whose one parameter is named `intermediate_result` sees a snapshot of the run."""

import numpy as np
import pytest

import corvalinth as pso

RUNS = {
    "native": lambda **kw: pso.minimize("rastrigin", [(-5, 5)] * 3, n_particles=6, seed=2, **kw),
    "python": lambda **kw: pso.minimize(lambda x: sum(v * v for v in x), [(-5, 5)] * 2,
                                        n_particles=5, seed=3, **kw),
    "vectorized": lambda **kw: pso.minimize(lambda X: (X ** 2).sum(axis=1), [(-5, 5)] * 4,
                                            n_particles=7, seed=4, vectorized=True, **kw),
    "integer": lambda **kw: pso.minimize(lambda x: sum(abs(v) for v in x), [(-9, 9)] * 2,
                                         integer=True, n_particles=5, seed=5, **kw),
}


@pytest.mark.parametrize("run", list(RUNS))
@pytest.mark.parametrize("stop_after", [0, 3, None])
def test_the_snapshot_agrees_with_the_result_and_the_history(run, stop_after):
    snapshots = []

    def watch(intermediate_result):
        snapshots.append(intermediate_result)
        return stop_after is None or intermediate_result.iteration < stop_after

    pairs = []
    r = RUNS[run](callback=watch, max_iter=8)
    reference = RUNS[run](callback=lambda i, best: pairs.append((i, best))
                          or (stop_after is None or i < stop_after), max_iter=8)
    assert r.to_dict() == reference.to_dict()  # the form of the callback changes nothing else
    assert [(s.iteration, s.best_value) for s in snapshots] == pairs
    assert [s.best_value for s in snapshots] == r.convergence
    assert r.stop_reason == ("max_iterations" if stop_after is None else "callback")
    history = r.history_array()
    particles, dim = history.shape[1:]
    evaluated = list(history[0])  # every raw point evaluated so far
    for s in snapshots:
        assert s.evaluations == particles * (s.iteration + 2)
        assert s.positions.shape == (particles, dim) and s.positions.dtype == np.float64
        if s.iteration + 1 < len(history):  # the swarm at the end of an iteration starts the next
            assert np.array_equal(s.positions, history[s.iteration + 1])
        evaluated.extend(s.positions)
        assert any(np.array_equal(s.best_position, row) for row in evaluated)
    if run != "integer":  # the result's position is decoded, the snapshot's raw
        assert np.array_equal(snapshots[-1].best_position, r.best_position)


def test_other_callbacks_keep_the_two_argument_form():
    calls = []
    pso.minimize("sphere", [(-1, 1)], n_particles=2, max_iter=2, seed=1,
                 callback=lambda *a: calls.append(a))
    assert [len(a) for a in calls] == [2, 2]
    for callback in (lambda intermediate_result, extra=None: None,  # two parameters: classic
                     print):  # no readable signature in every version
        pso.minimize("sphere", [(-1, 1)], n_particles=2, max_iter=2, seed=1, callback=callback)
    with pytest.raises(TypeError):  # a one-parameter callback under another name, as always
        pso.minimize("sphere", [(-1, 1)], n_particles=2, max_iter=2, seed=1,
                     callback=lambda result: None)
