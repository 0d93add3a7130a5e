"""Named parameters: bounds given as a dict, user code given dicts."""

import math
import pickle
import sys
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import corvalinth as pso
from corvalinth import parallel
from corvalinth._named import NamedSpace

DECLARATION = {"C": ("log", 1e-3, 1e3), "depth": ("int", 1, 6),
               "kernel": ["linear", "rbf", None], "ratio": (0.0, 1.0)}
SETTINGS = {"n_particles": 8, "max_iter": 6, "seed": 4}


def loss(p):
    return ((math.log10(p["C"]) - 1) ** 2 + (p["depth"] - 3) ** 2
            + (p["kernel"] != "rbf") + (p["ratio"] - 0.25) ** 2)


# --- Every value the objective receives ------------------------------------------------------

finite = st.floats(-1e6, 1e6, allow_nan=False)


@st.composite
def parameter(draw):
    kind = draw(st.sampled_from(["real", "log", "int", "choice"]))
    if kind == "real":
        low, high = sorted(draw(st.tuples(finite, finite)))
        return (low, high)
    if kind == "log":
        low = draw(st.floats(1e-8, 1e4))
        high = draw(st.floats(low, 1e8).filter(lambda h: h > low))
        return ("log", low, high)
    if kind == "int":
        low = draw(st.integers(-50, 50))
        return ("int", low, low + draw(st.integers(0, 20)))
    return draw(st.lists(st.one_of(st.text(max_size=3), st.integers(), st.none(),
                                   st.tuples(st.integers())), min_size=1, max_size=5))


@given(declaration=st.dictionaries(st.text(min_size=1, max_size=4), parameter(), min_size=1,
                                   max_size=5),
       seed=st.integers(0, 2**32), vectorized=st.booleans())
def test_the_objective_receives_only_values_each_parameter_allows(declaration, seed, vectorized):
    seen = []

    def objective(params):
        seen.append(params)
        return 0.0

    settings = {"n_particles": 6, "max_iter": 3, "seed": seed, "bounds_handling": "reflect"}
    if vectorized:
        result = pso.minimize(lambda rows: [objective(p) for p in rows], declaration,
                              vectorized=True, **settings)
    else:
        result = pso.minimize(objective, declaration, **settings)
    assert len(seen) == result.evaluations
    for params in [*seen, result.best_params]:
        assert list(params) == list(declaration)
        for name, value in params.items():
            given_ = declaration[name]
            if isinstance(given_, list):
                assert any(value is choice for choice in given_)
            elif given_[0] == "int":
                assert type(value) is int and given_[1] <= value <= given_[2]
            else:
                assert type(value) is float and given_[-2] <= value <= given_[-1]
    # The starting swarm: a log-scaled value is exp of the coordinate the same run draws
    # uniformly on [ln low, ln high], so its logarithm is that coordinate.
    space = NamedSpace(declaration)
    raw = pso.minimize(lambda x: 0.0, space.bounds, var_types=space.var_types, **settings)
    for start, position in zip(seen, raw.history_array()[0].tolist(), strict=False):
        for name, coordinate in zip(space.names, position, strict=True):
            if isinstance(declaration[name], tuple) and declaration[name][0] == "log":
                assert math.log(start[name]) == pytest.approx(coordinate, rel=1e-12, abs=1e-12)


def test_a_log_scale_starts_log_uniform_and_choices_equally_often():
    seen = []
    pso.minimize(lambda p: seen.append(p) or 0.0,
                 {"lr": ("log", 1e-6, 1.0), "k": ["a", "b", "c", "d"], "n": ("int", 0, 3)},
                 n_particles=4000, max_iter=0, seed=1)
    logs = np.log10([p["lr"] for p in seen])
    # A decade in log10 holds a sixth of a log-uniform sample; the linear midpoint would hold
    # half of a uniform one below it.
    assert abs(np.mean(logs < -5) - 1 / 6) < 0.02
    assert abs(np.mean(logs < math.log10(0.5)) - (1 - -math.log10(0.5) / 6)) < 0.02
    for name, values in (("k", "abcd"), ("n", range(4))):
        shares = [np.mean([p[name] == v for p in seen]) for v in values]
        assert max(abs(s - 0.25) for s in shares) < 0.03, name


# --- The same run as bounds and var_types -----------------------------------------------------

RUNS = {
    "minimize": lambda bounds, objective, **kw: pso.minimize(objective, bounds, **kw),
    "vectorized": lambda bounds, objective, **kw: pso.minimize(
        lambda rows: [objective(r) for r in rows], bounds, vectorized=True, **kw),
    "multi": lambda bounds, objective, **kw: pso.minimize_multi(
        lambda p: [objective(p), abs(p["ratio"] if isinstance(p, dict) else p[3])], bounds,
        **kw),
}


@pytest.mark.parametrize("run", list(RUNS))
def test_a_named_run_is_the_run_of_its_bounds_and_types_bit_for_bit(run):
    space = NamedSpace(DECLARATION)
    named = RUNS[run](DECLARATION, loss, record_evaluations=True, **SETTINGS)
    plain = RUNS[run](space.bounds, lambda x: loss(space.decode(x)) if not isinstance(x, dict)
                      else loss(x), var_types=space.var_types, record_evaluations=True,
                      **SETTINGS)
    assert np.array_equal(named.evaluations_array(), plain.evaluations_array())
    assert named.parameters == DECLARATION and plain.parameters is None
    if run == "multi":
        assert named.params == [space.decode(p) for p in plain.positions]
    else:
        assert named.best_params == space.decode(plain.best_position)
        assert named.convergence == plain.convergence
    rows = named.trials()
    assert len(rows) == named.evaluations
    labels = ["f0", "f1"] if run == "multi" else ["value"]
    assert rows[0] == {**space.decode(plain.recorded_evaluations[0][:4]),
                       **dict(zip(labels, plain.recorded_evaluations[0][4:], strict=True))}
    assert pickle.loads(pickle.dumps(named)).trials() == rows


def test_optimizer_forms_hand_out_dicts_and_parallel_run_passes_them_on():
    with ThreadPoolExecutor(2) as pool:
        direct = pso.minimize(loss, DECLARATION, **SETTINGS)
        batch = pso.minimize(parallel.batch(loss, pool), DECLARATION, vectorized=True, **SETTINGS)
        for form in ({}, {"batch": True}):
            optimizer = pso.Optimizer(DECLARATION, **form, **SETTINGS)
            expected = batch if form else direct
            assert parallel.run(optimizer, loss, pool).convergence == expected.convergence
            assert optimizer.best_params == expected.best_params
        asynchronous = pso.Optimizer(DECLARATION, asynchronous=True, **SETTINGS)
        ticket, point = asynchronous.ask()
        assert asynchronous.out == [(ticket, point)] and set(point) == set(DECLARATION)
        restored = pickle.loads(pickle.dumps(asynchronous))
        assert restored.out == [(ticket, point)]
        assert parallel.run(restored, loss, pool).best_params is not None


def test_snapshots_warm_starts_and_constraints_speak_in_names():
    snapshots = []
    start = {"C": 10.0, "depth": 3, "kernel": "rbf", "ratio": 0.25}
    r = pso.minimize(loss, DECLARATION, x0=[start], constraints=[lambda p: p["ratio"] - 0.5],
                     callback=lambda intermediate_result: snapshots.append(intermediate_result),
                     **SETTINGS)
    assert r.best_params == pytest.approx(start) and r.best_value == pytest.approx(0.0)
    assert r.feasible
    assert [s.best_params for s in snapshots][-1] == r.best_params


@pytest.mark.parametrize("declaration, message", [
    ({"C": ("log", 0, 1)}, "parameter 'C': a log scale needs 0 < low < high"),
    ({"C": ("log", 2, 1)}, "parameter 'C'"),
    ({"n": ("int", 0.5, 3)}, "parameter 'n': integer bounds must be whole"),
    ({"x": (1, 0)}, "parameter 'x': bounds must be finite with low <= high"),
    ({"x": (0, math.inf)}, "parameter 'x'"),
    ({"x": ("0", 1)}, "parameter 'x': bounds must be real numbers"),
    ({"k": []}, "parameter 'k': a list of choices needs at least one"),
    ({"k": ("sqrt", 1, 2)}, "parameter 'k': unknown scale 'sqrt'"),
    ({"k": (0, 1, 2, 3)}, "parameter 'k': expected"),
    ({"k": {"a": 1}}, "parameter 'k': expected"),
    ({}, "names no parameter"),
    ({1: (0, 1)}, "parameter names must be str"),
])
def test_a_bad_declaration_names_its_parameter(declaration, message):
    for build in (lambda: pso.minimize(loss, declaration), lambda: pso.Optimizer(declaration),
                  lambda: pso.minimize_multi(loss, declaration)):
        with pytest.raises(ValueError, match=message.replace("(", r"\(")):
            build()


@pytest.mark.parametrize("extra, message", [
    ({"integer": True}, "integer, binary, var_types and dim cannot be given"),
    ({"var_types": ["real"] * 4}, "cannot be given"),
    ({"dim": 4}, "cannot be given"),
    ({"repair": lambda p: p}, "repair cannot be combined"),
    ({"x0": [0.5] * 4}, "x0 must be a dict"),
    ({"x0": {"C": 1.0}}, "exactly the parameters"),
    ({"x0": {**dict.fromkeys(DECLARATION, 1.0), "kernel": "sigmoid"}},
     "parameter 'kernel': 'sigmoid'"),
    ({"objective": "sphere"}, "native benchmark takes no named parameters"),
])
def test_what_names_decide_cannot_be_given_again(extra, message):
    with pytest.raises(ValueError, match=message):
        pso.minimize(**{"objective": loss, "bounds": DECLARATION, **extra})


def test_trials_without_names_and_the_pandas_table(monkeypatch):
    r = pso.minimize(lambda x: x[0], [(0, 1)] * 2, record_evaluations=True, **SETTINGS)
    assert r.trials()[0] == dict(zip(["x0", "x1", "value"], r.recorded_evaluations[0],
                                     strict=True))
    named = pso.minimize(lambda p: 0.0, {"value": (0, 1)}, record_evaluations=True, **SETTINGS)
    with pytest.raises(ValueError, match="parameter 'value' has the name of a value column"):
        named.trials()
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="to_pandas\\(\\) needs pandas"):
        r.to_pandas()


def test_the_ends_of_a_log_scale_are_its_bounds_and_the_table_is_a_dataframe():
    pandas = pytest.importorskip("pandas")
    r = pso.minimize(lambda p: p["lr"], {"lr": ("log", 1e-4, 1e1), "k": ["a", None]},
                     record_evaluations=True, **SETTINGS)
    assert r.best_params["lr"] == 1e-4  # the swarm reaches the lower end and stays clamped there
    table = r.to_pandas()
    assert isinstance(table, pandas.DataFrame) and list(table.columns) == ["lr", "k", "value"]
    assert table["value"].tolist() == [row["value"] for row in r.trials()]


def test_named_calls_leave_no_reference_behind():
    # Exact where the memory test of test_leaks.py is statistical: every object the caller
    # hands in keeps its reference count, and nothing of the translation outlives the calls.
    import gc

    declaration = {"x": ("log", 0.1, 10.0), "n": ("int", 0, 3), "k": ["a", None]}
    start = {"x": 1.0, "n": 1, "k": None}

    def objective(p):
        return p["x"]

    def constraint(p):
        return p["n"] - 2

    def snapshot(intermediate_result):
        return None

    given = (declaration, start, objective, constraint, snapshot, declaration["k"])
    gc.collect()
    before = [sys.getrefcount(o) for o in given]
    for _ in range(50):
        r = pso.minimize(objective, declaration, constraints=[constraint], x0=start,
                         callback=snapshot, record_evaluations=True, **SETTINGS)
        pickle.loads(pickle.dumps(r)).trials()
        front = pso.minimize_multi(lambda p: [p["x"], p["n"]], declaration, record_evaluations=True,
                                   **SETTINGS)
        assert front.params and front.trials()
        optimizer = pso.Optimizer(declaration, batch=True, record_evaluations=True, **SETTINGS)
        optimizer.tell([objective(p) for p in optimizer.ask()])
        assert pickle.loads(pickle.dumps(optimizer)).best_params
        with pytest.raises(ValueError):
            pso.minimize("sphere", declaration)
        with pytest.raises(ValueError):
            pso.minimize(objective, declaration, x0={"x": 1.0})
    del r, front, optimizer
    gc.collect()
    assert [sys.getrefcount(o) for o in given] == before
    assert not [o for o in gc.get_objects() if type(o).__module__ == "corvalinth._named"]
