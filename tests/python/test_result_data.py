"""Results as data: pickling and copying, to_dict, NumPy arrays, the iteration count."""

import copy
import json
import math
import pickle
import struct
import subprocess
import sys

import numpy as np
import pytest

import corvalinth as pso
import corvalinth_native
from parallel_objectives import front_run, grey_run, python_run

NAN, INF = float("nan"), float("inf")


def bits(value):
    """A value with every float replaced by its bit pattern, so NaN, -0.0 and infinities
    compare exactly."""
    if isinstance(value, float):
        return struct.pack("<d", value)
    if isinstance(value, (list, tuple)):
        return type(value)(bits(v) for v in value)
    if isinstance(value, dict):
        return {k: bits(v) for k, v in value.items()}
    return value


def odd_values(x):
    """Non-finite values and signed zeros: NaN ranks last, so the best is -inf or -0.0."""
    return [NAN, INF, -0.0, -INF, 0.0][int(abs(x[0]) * 5) % 5]


RESULTS = {
    "pso": lambda: pso.minimize(odd_values, [(-1, 1)] * 2, n_particles=4, max_iter=6, seed=3),
    "pso repaired to -0.0": lambda: pso.minimize(lambda x: -0.0, [(-1, 1)] * 2, max_iter=2,
                                                 repair=lambda x: [-0.0, NAN]),
    "pso unrecorded": lambda: pso.minimize("sphere", [(-1, 1)], max_iter=3, record_history=False),
    "front": lambda: pso.minimize_multi(lambda x: [odd_values(x), -x[1]], [(-1, 1)] * 2,
                                        n_particles=5, max_iter=4, seed=2),
    "front stopped early": lambda: pso.minimize_multi(lambda x: [x[0], -x[0]], [(0, 1)],
                                                      n_particles=3, max_evals=13, seed=2),
    "front unrecorded": lambda: pso.minimize_multi(lambda x: [x[0], -x[0]], [(0, 1)],
                                                   max_iter=2, record_history=False),
    "grey": lambda: pso.minimize_grey(lambda g: odd_values([g[0][0]]), [(-1, 1)] * 2,
                                      n_particles=4, max_iter=5, seed=4),
}


# scipy's names on PsoResult: read-only aliases of the fields, derived, neither pickled nor listed.
SCIPY_ALIASES = {"x", "fun", "nit", "nfev", "success", "message"}


def attributes(result):
    names = [n for n in dir(type(result)) if not n.startswith("_")
             and not callable(getattr(result, n)) and n not in SCIPY_ALIASES]
    return {name: getattr(result, name) for name in names}


@pytest.fixture(params=list(RESULTS), scope="module")
def result(request):
    return RESULTS[request.param]()


@pytest.mark.parametrize("duplicate", [
    lambda r: pickle.loads(pickle.dumps(r, protocol=0)),
    lambda r: pickle.loads(pickle.dumps(r, protocol=pickle.HIGHEST_PROTOCOL)),
    copy.copy,
    copy.deepcopy,
], ids=["pickle0", "pickle-highest", "copy", "deepcopy"])
def test_duplicates_are_equal_bit_for_bit(result, duplicate):
    twin = duplicate(result)
    assert type(twin) is type(result) and twin is not result
    assert bits(attributes(twin)) == bits(attributes(result))
    assert repr(twin) == repr(result)


def test_the_results_hold_non_finite_values_and_signed_zeros():
    # What makes the bit-for-bit comparisons above (and to_dict's below) worth making.
    r = RESULTS["pso repaired to -0.0"]()
    assert math.copysign(1.0, r.best_position[0]) == -1.0 and math.isnan(r.best_position[1])
    assert math.copysign(1.0, r.best_value) == -1.0
    flat = [v for row in RESULTS["front"]().front_history for vector in row for v in vector]
    assert any(math.isnan(v) for v in flat) and -INF in flat


def test_pickled_results_travel_between_processes(tmp_path):
    results = [python_run(5), front_run(5), grey_run(5)]
    path = tmp_path / "results.pickle"
    path.write_bytes(pickle.dumps(results))
    script = ("import pickle, sys; rs = pickle.load(open(sys.argv[1], 'rb'));"
              "pickle.dump([r.to_dict() for r in rs], sys.stdout.buffer)")
    out = subprocess.run([sys.executable, "-c", script, str(path)], capture_output=True,
                         check=True).stdout
    assert bits(pickle.loads(out)) == bits([r.to_dict() for r in results])


BAD_STATES = [
    ("_rebuild_pso_result", None, TypeError, "result state must be a dict"),
    ("_rebuild_pso_result", {}, ValueError, "'best_position' is missing"),
    ("_rebuild_pso_result", {"best_position": [1.0]}, ValueError, "bytes of doubles"),
    ("_rebuild_pso_result", {"best_position": b"1234567"}, ValueError, "whole number"),
    ("_rebuild_pso_result", {"history": (2, 3, 1, bytes(40))}, ValueError,
     "particles x dim x iterations"),
    ("_rebuild_pso_result", {"history": (2 ** 40, 2 ** 40, 2 ** 40, bytes(8))}, ValueError,
     "too large for an array"),
    ("_rebuild_pso_result", {"history": (0, 2 ** 63, 0, b"")}, ValueError,
     "too large for an array"),
    ("_rebuild_pso_result", {"history": (0, 0, 2 ** 60, b"")}, ValueError,
     "particles x dim x iterations"),
    ("_rebuild_pso_result", {"history": (-1, 0, 0, b"")}, ValueError, "'history' holds an int outside"),
    ("_rebuild_pso_result", {"history": [1, 1, 1, bytes(8)]}, ValueError, "must be a tuple"),
    ("_rebuild_pso_result", {"stop_reason": "tired"}, ValueError, "not a stop reason"),
    ("_rebuild_pso_result", {"evaluations": -1}, ValueError, "'evaluations' holds an int outside"),
    ("_rebuild_pso_result", {"evaluations": 1.0}, ValueError, "'evaluations' holds a value that is not an int"),
    ("_rebuild_pso_result", {"best_value": "1.0"}, ValueError, "must be a float"),
    ("_rebuild_grey_result", {"best_position": bytes(8)}, ValueError, "one interval"),
    ("_rebuild_pareto_front", {"members": 3}, ValueError, "one row per member"),
    ("_rebuild_pareto_front", {"members": 0, "dim": 2 ** 62, "positions": b""}, ValueError,
     "too large for an array"),
    ("_rebuild_pareto_front", {"front_history": (2, [0, 3, 1], bytes(48))}, ValueError,
     "starts must rise from 0"),
    ("_rebuild_pareto_front", {"front_history": (2, [0, "3"], bytes(48))}, ValueError,
     "'front_history' holds a value that is not an int"),
    ("_rebuild_pareto_front", {"front_history": (2, [0, 3], bytes(40))}, ValueError,
     "one vector per member"),
    # Rows of no values: a few bytes would claim 10**8 members.
    ("_rebuild_pareto_front", {"members": 10**8, "dim": 0, "objective_count": 0,
                               "positions": b"", "objectives": b""}, ValueError,
     "'members' must be 0 when rows hold no values"),
    ("_rebuild_pareto_front", {"front_history": (0, [0, 10**8], b"")}, ValueError,
     "at most one member each"),
    ("_rebuild_pso_result", {"stop_reason": "cancelled"}, ValueError, "not a stop reason"),
]


@pytest.mark.parametrize("rebuild, changes, error, message", BAD_STATES)
def test_reconstructors_refuse_bad_states(rebuild, changes, error, message):
    maker = {"_rebuild_pso_result": python_run, "_rebuild_grey_result": grey_run,
             "_rebuild_pareto_front": front_run}[rebuild]
    state = maker(1).__reduce__()[1][0]
    state = None if changes is None else {**state, **changes} if changes else {}
    with pytest.raises(error, match=message):
        getattr(corvalinth_native, rebuild)(state)


def test_reduce_names_a_private_reconstructor_and_classes_still_refuse_construction():
    for maker in (python_run, front_run, grey_run):
        r = maker(1)
        rebuild, (state,) = r.__reduce__()
        assert rebuild.__name__.startswith("_rebuild_") and rebuild.__self__ is corvalinth_native
        # None: the named parameters of a run without names.
        assert all(type(v) in (bool, int, float, str, bytes, tuple, type(None))
                   for v in state.values())
        with pytest.raises(TypeError, match=f"^No constructor defined for {type(r).__name__}$"):
            type(r)(state)


def test_panic_exception_pickles_by_reference():
    with pytest.raises(pso.PanicException) as raised:
        pso.minimize("sphere", [(1.0, 0.0)])
    error = raised.value
    assert (pso.PanicException.__module__, pso.PanicException.__qualname__) == (
        "corvalinth", "PanicException")
    twin = pickle.loads(pickle.dumps(error))
    assert type(twin) is pso.PanicException and twin.args == error.args
    # A fresh interpreter that has imported nothing finds the class by name.
    script = "import pickle, sys; e = pickle.loads(sys.stdin.buffer.read()); print(repr(e))"
    out = subprocess.run([sys.executable, "-c", script], input=pickle.dumps(error),
                         capture_output=True, check=True).stdout.decode()
    assert out.strip() == repr(error)


def test_to_dict_holds_every_attribute_as_plain_json_ready_data(result):
    data = result.to_dict()
    assert list(data) == [n for n in vars(type(result)) if not n.startswith("_")
                          and not callable(getattr(result, n)) and n not in SCIPY_ALIASES]
    assert bits(data) == bits(attributes(result))
    text = json.dumps(data)
    assert bits(json.loads(text)) == bits(json.loads(json.dumps(json.loads(text))))
    assert data is not result.to_dict()


def test_to_dict_writes_non_finite_values_as_json_constants():
    data = RESULTS["pso"]().to_dict()
    text = json.dumps(data)
    assert "NaN" in text or "Infinity" in text
    loaded = json.loads(text)
    assert bits(loaded["convergence"]) == bits(data["convergence"])
    with pytest.raises(ValueError):
        json.dumps(data, allow_nan=False)


ARRAYS = [
    ("pso", "history_array", "history"),
    ("pso", "convergence_array", "convergence"),
    ("pso unrecorded", "history_array", "history"),
    ("front", "swarm_history_array", "swarm_history"),
    ("front", "positions_array", "positions"),
    ("front", "objectives_array", "objectives"),
    ("front unrecorded", "swarm_history_array", "swarm_history"),
    ("grey", "convergence_array", "convergence"),
]


@pytest.mark.parametrize("kind, method, attribute", ARRAYS)
def test_arrays_hold_the_attribute_values(kind, method, attribute):
    r = RESULTS[kind]()
    array = getattr(r, method)()
    listed = getattr(r, attribute)
    assert type(array) is np.ndarray and array.dtype == np.float64
    assert array.flags.c_contiguous and not array.flags.writeable
    assert bits(array.tolist()) == bits(listed)
    if listed:
        assert array.shape == np.array(listed).shape
    with pytest.raises(ValueError):
        array[...] = 0.0


def test_unrecorded_histories_keep_the_swarm_shape():
    r = pso.minimize("sphere", [(-1, 1)] * 3, n_particles=7, max_iter=4, record_history=False)
    assert r.history_array().shape == (0, 7, 3) and r.convergence_array().shape == (0,)
    f = pso.minimize_multi(lambda x: [x[0], -x[0]], [(0, 1)] * 2, n_particles=5, max_iter=2,
                           record_history=False)
    assert f.swarm_history_array().shape == (0, 5, 2)


def test_history_arrays_share_the_result_storage_and_outlive_it():
    r = pso.minimize("sphere", [(-1, 1)] * 2, n_particles=3, max_iter=5, seed=1)
    first, second = r.history_array(), r.history_array()
    assert np.shares_memory(first, second)
    expected = r.history
    del r
    import gc
    gc.collect()
    assert first.tolist() == expected
    assert np.asarray(memoryview(first)).shape == (5, 3, 2)


STOPS = [
    ({}, 7),
    ({"target": 1e9}, 1),
    ({"max_evals": 13}, 3),
    ({"patience": 2, "tol": 1e9}, 2),
    ({"callback": lambda i, b: i < 3}, 4),
    ({"max_iter": 0}, 0),
]


@pytest.mark.parametrize("stop, iterations", STOPS)
@pytest.mark.parametrize("record_history", [True, False])
def test_iterations_count_the_run_whatever_is_recorded(stop, iterations, record_history):
    options = {"n_particles": 4, "max_iter": 7, "seed": 1, "record_history": record_history}
    r = pso.minimize("sphere", [(-1, 1)] * 2, **{**options, **stop})
    assert r.iterations == iterations
    assert len(r.convergence) == (iterations if record_history else 0)
    assert f"iters={len(r.convergence)}," in repr(r)
    if "callback" not in stop:
        g = pso.minimize_grey("grey_sphere", [(-1, 1)] * 2, **{**options, **stop})
        assert g.iterations == iterations
    f = pso.minimize_multi(lambda x: [x[0], -x[0]], [(0, 1)], n_particles=3,
                           max_iter=stop.get("max_iter", 7), record_history=record_history)
    assert f.iterations == stop.get("max_iter", 7)


@pytest.mark.parametrize("stop, iterations, reason", [
    ({}, 7, "max_iterations"),
    ({"max_evals": 13}, 4, "max_evaluations"),  # 3 + 3 per iteration
    ({"callback": lambda i, size: i < 3}, 4, "callback"),
])
@pytest.mark.parametrize("vectorized", [False, True])
def test_fronts_count_iterations_also_when_stopped_early(stop, iterations, reason, vectorized):
    objective = ((lambda a: [[row[0], -row[0]] for row in a.tolist()]) if vectorized
                 else (lambda x: [x[0], -x[0]]))
    f = pso.minimize_multi(objective, [(0, 1)], n_particles=3, max_iter=7, seed=1,
                           vectorized=vectorized, **stop)
    assert (f.iterations, f.stop_reason) == (iterations, reason)
    assert len(f.front_history) == iterations


def test_reading_results_does_not_import_numpy():
    script = ("import pickle, sys, corvalinth as pso;"
              "r = pso.minimize('sphere', [(-1, 1)], max_iter=3);"
              "pickle.loads(pickle.dumps(r)).to_dict(); print('numpy' in sys.modules)")
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, check=True)
    assert out.stdout.strip() == b"False"


def test_the_state_holds_every_attribute_and_lacking_any_key_is_refused(result):
    rebuild, (state,) = result.__reduce__()
    assert set(attributes(result)) <= set(state)
    for key in state:
        with pytest.raises(ValueError, match=f"'{key}' is missing"):
            rebuild({k: v for k, v in state.items() if k != key})
