"""scipy.optimize's names: the result aliases and the objective's extra arguments."""

import pickle

import numpy as np
import pytest

import corvalinth as pso


def shifted(x, shift, scale):
    return scale * sum((v - shift) ** 2 for v in x)


def shifted_rows(points, shift, scale):
    return scale * ((np.asarray(points) - shift) ** 2).sum(axis=1)


RUNS = {
    "minimize": lambda objective, **kw: pso.minimize(objective, [(-5, 5)] * 3, seed=3,
                                                       max_iter=15, **kw),
    "integer": lambda objective, **kw: pso.minimize(objective, [(-5, 5)] * 3, integer=True,
                                                      seed=3, max_iter=15, **kw),
    "vectorized": lambda objective, **kw: pso.minimize(objective, [(-5, 5)] * 3, seed=3,
                                                         max_iter=15, vectorized=True, **kw),
    "multi": lambda objective, **kw: pso.minimize_multi(
        lambda x, *a: [objective(x, *a), x[0]] if a else [objective(x), x[0]],
        [(-5, 5)] * 2, seed=3, max_iter=5, **kw),
    "grey": lambda objective, **kw: pso.minimize_grey(
        lambda x, *a: objective([c for c, _ in x], *a) if a else objective([c for c, _ in x]),
        [(-5, 5)] * 2, seed=3, max_iter=10, **kw),
}


@pytest.mark.parametrize("front_end", list(RUNS))
@pytest.mark.parametrize("extra", [(1.5, 2.0), (-0.25, 1.0)])
def test_args_reach_the_objective_as_a_closure_would(front_end, extra):
    run = RUNS[front_end]
    objective = shifted_rows if front_end == "vectorized" else shifted
    with_args = run(objective, args=extra)
    closed = run(lambda x: objective(x, *extra))
    assert pickle.dumps(with_args.to_dict()) == pickle.dumps(closed.to_dict())


@pytest.mark.parametrize("args, seen_args", [((), ()), (None, ()), ([7], ([7],))])
def test_args_is_the_tuple_of_extra_arguments(args, seen_args):
    # no extra arguments calls the objective with the point alone; one value is the one argument
    seen = []
    r = pso.minimize(lambda x, *a: seen.append(a) or sum(x), [(0, 1)], seed=1, max_iter=3,
                     args=args)
    assert seen and all(a == seen_args for a in seen)
    if not seen_args:
        assert r.to_dict() == pso.minimize(lambda x: sum(x), [(0, 1)], seed=1,
                                           max_iter=3).to_dict()


def test_constraints_and_repair_do_not_receive_the_extra_arguments():
    r = pso.minimize(shifted, [(-2, 2)] * 2, args=(1.0, 1.0), seed=2, max_iter=10,
                     constraints=[lambda x: x[0] - 0.5], repair=lambda x: x)
    assert r.best_position[0] <= 0.5 + 1e-9


def test_a_native_benchmark_takes_no_extra_arguments():
    with pytest.raises(ValueError, match="args requires a Python objective"):
        pso.minimize("sphere", [(-1, 1)], args=(1,))


@pytest.mark.parametrize("stop", [
    {"max_iter": 4},
    {"target": 10.0},
    {"max_evals": 40},
    {"patience": 2, "tol": 1e9},
    {"callback": lambda i, best: i < 2},
])
def test_scipy_aliases_read_the_fields(stop):
    r = pso.minimize("sphere", [(-5, 5)] * 2, seed=4, n_particles=10, **stop)
    restored = pickle.loads(pickle.dumps(r))
    for result in (r, restored):
        assert (result.x, result.fun, result.nit, result.nfev) == (
            result.best_position, result.best_value, result.iterations, result.evaluations)
        assert result.success is True
        assert isinstance(result.message, str) and result.message
    assert "x" not in r.to_dict()
    with pytest.raises(AttributeError):
        r.x = [0.0, 0.0]
