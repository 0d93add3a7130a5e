"""minimize_grey and GreyResult: checks and their order, representations, caps, the native run."""

import math

import numpy as np
import pytest

import corvalinth as pso

BOX = [(-2, 3)] * 2
MAX_SPREAD_KINDS = "max_spread must be a float, a list of floats (one per grey variable), or None"
UNKNOWN_GREY = "unknown native grey benchmark: '{}'. Available: grey_sphere"


def midpoint_sphere(greys):
    """The docstring's objective: squared midpoints plus half-widths."""
    centers = [(lo + hi) / 2 for (lo, hi) in greys]
    spreads = [(hi - lo) / 2 for (lo, hi) in greys]
    return sum(c * c for c in centers) + sum(spreads)


def small(objective=midpoint_sphere, bounds=BOX, **kwargs):
    return pso.minimize_grey(objective, bounds, **{"n_particles": 8, "max_iter": 10, "seed": 5,
                                                    **kwargs})


def recording(objective=midpoint_sphere):
    seen = []

    def wrapped(greys):
        seen.append(greys)
        return objective(greys)
    return wrapped, seen


# --- checks before the run -------------------------------------------------------------------

@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"representation": "Interval"},
         "unknown representation: 'Interval'. Available: interval, center_spread"),
        ({"representation": "center spread"},
         "unknown representation: 'center spread'. Available: interval, center_spread"),
        ({"bounds": []}, "bounds is empty"),
        ({"bounds": (0, 1)}, "with a single (min, max) bound, pass dim=<number of dimensions>"),
        ({"max_spread": [0.5, 1.0], "bounds": (0, 1), "dim": 3},
         "max_spread has 2 values but there are 3 grey variables"),
        ({"max_spread": []}, "max_spread has 0 values but there are 2 grey variables"),
        ({"max_spread": "0.5"}, MAX_SPREAD_KINDS),
        ({"max_spread": ["a", "b"]}, MAX_SPREAD_KINDS),
        ({"max_spread": object()}, MAX_SPREAD_KINDS),
        ({"max_spread": {"a": 1}}, MAX_SPREAD_KINDS),
        ({"n_particles": 0}, "n_particles must be >= 1"),
        ({"v_max": math.inf}, "v_max must be a finite value >= 0 (or None to disable)"),
        ({"velocity": "Inertia"},
         "unknown variant: 'Inertia'. Available: inertia, constriction, fips"),
        ({"topology": "star"},
         "unknown topology: 'star'. Available: global, ring, vonneumann, random"),
    ],
)
def test_setting_errors(kwargs, message):
    with pytest.raises(ValueError) as raised:
        small(**kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"bounds": [(0, 1), (2, 1)]}, "invalid bound in variable 1: 2 > 1"),
        ({"max_spread": [1.0, -0.5]}, "negative max spread in variable 1: -0.5"),
        ({"max_spread": math.nan}, "negative max spread in variable 0: NaN"),
        ({"max_time": -1.0}, "cannot convert float seconds to Duration: value is negative"),
    ],
)
def test_internal_errors(kwargs, message):
    with pytest.raises(pso.PanicException) as raised:
        small(**kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("name", ["sphere", "Grey_sphere", "grey_sphere "])
def test_unknown_native_name_is_a_key_error(name):
    with pytest.raises(KeyError) as raised:
        small(name)
    assert raised.value.args == (UNKNOWN_GREY.format(name),)


# Two failing checks: the earlier one wins.
@pytest.mark.parametrize(
    "kwargs, error, fragment",
    [
        ({"representation": "x", "n_particles": "y"}, TypeError, "argument 'n_particles'"),
        ({"representation": "x", "bounds": None}, ValueError, "representation"),
        ({"bounds": [], "max_spread": "x"}, ValueError, "bounds is empty"),
        ({"max_spread": "x", "n_particles": 0}, ValueError, "max_spread"),
        ({"n_particles": 0, "v_max": -1}, ValueError, "n_particles"),
        ({"v_max": -1, "max_time": -1.0}, ValueError, "v_max"),
        ({"max_time": math.nan, "velocity": "x"}, BaseException, "Duration"),
        ({"velocity": "x", "topology": "x"}, ValueError, "variant"),
        ({"topology": "x", "bounds": [(1, 0)]}, ValueError, "topology"),
        ({"bounds": [(1, 0)], "objective": "nope"}, BaseException, "invalid bound"),
        ({"max_spread": -1.0, "objective": "nope"}, BaseException, "negative max spread"),
    ],
)
def test_validation_order(kwargs, error, fragment):
    with pytest.raises(error) as raised:
        small(**kwargs)
    assert fragment in str(raised.value)


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "minimize_grey() missing 2 required positional arguments: 'objective' and "
                 "'bounds'"),
        ((midpoint_sphere, BOX), {"bounds_handling": "clamp"},
         "minimize_grey() got an unexpected keyword argument 'bounds_handling'"),
        ((midpoint_sphere, BOX) + (None,) * 19, {},
         "minimize_grey() takes from 2 to 20 positional arguments but 21 were given"),
    ],
)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        pso.minimize_grey(*args, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("kwargs, name", [({"representation": None}, "representation"),
                                          ({"max_evals": 1.0}, "max_evals"),
                                          ({"dim": "2"}, "dim"), ({"tol": []}, "tol")])
def test_conversion_errors_name_the_argument(kwargs, name):
    with pytest.raises(TypeError) as raised:
        small(**kwargs)
    assert str(raised.value) == f"argument '{name}': {raised.value.__cause__}"


# --- representations and caps ----------------------------------------------------------------

@pytest.mark.parametrize("bounds", [[(-2, 3), (0.5, 0.75)], [(-1e-3, 1e-3)] * 3])
def test_interval_pairs_are_ordered_floats_inside_the_bounds(bounds):
    objective, seen = recording()
    small(objective, bounds=bounds, w=1.5)
    assert len(seen) == 8 * 11
    for greys in seen:
        assert type(greys) is list and len(greys) == len(bounds)
        for pair, (lo, hi) in zip(greys, bounds):
            assert type(pair) is tuple and all(type(v) is float for v in pair)
            assert lo <= pair[0] <= pair[1] <= hi


@pytest.mark.parametrize("name", ["center_spread", "center-spread"])
def test_center_spread_pairs(name):
    objective, seen = recording(lambda greys: sum(c * c + s for c, s in greys))
    r = small(objective, representation=name)
    for greys in seen:
        for c, s in greys:
            assert s >= 0 and -2 <= c - s and c + s <= 3
    assert list(zip(r.best_centers, r.best_spreads)) in seen  # the best is a point it was given
    assert repr(r) == repr(small(objective, representation="center_spread"))


@pytest.mark.parametrize(
    "max_spread, caps",
    [
        (0.5, [0.5] * 3),
        (np.float32(0.25), [0.25] * 3),
        (0, [0.0] * 3),
        ([0.0, 1.0, math.inf], [0.0, 1.0, math.inf]),
        ((0.1, 0.2, 0.3), [0.1, 0.2, 0.3]),
        (np.array([0.3, 0.0, 2.0]), [0.3, 0.0, 2.0]),
    ],
)
def test_max_spread_caps_every_spread(max_spread, caps):
    # Rewarding width drives the spreads to their caps.
    objective, seen = recording(lambda greys: -sum(s for _, s in greys))
    r = small(objective, bounds=(-5, 5), dim=3, max_spread=max_spread,
              representation="center_spread")
    for greys in seen:
        assert all(s <= cap for (_, s), cap in zip(greys, caps))
    assert all(s <= cap for s, cap in zip(r.best_spreads, caps))
    assert all(s == 0 for s, cap in zip(r.best_spreads, caps) if cap == 0)
    assert all(s > 0 for s, cap in zip(r.best_spreads, caps) if cap > 0)


def test_wide_spreads_stay_inside_the_bounds():
    r = small(lambda greys: -sum(hi - lo for lo, hi in greys), bounds=[(-1, 1), (0, 10)],
              max_iter=40)
    assert all(lo >= b_lo and hi <= b_hi for (lo, hi), (b_lo, b_hi) in
               zip(r.best_position, [(-1, 1), (0, 10)]))
    assert -12 <= r.best_value < -11.5  # both intervals nearly fill their bounds


# --- GreyResult ------------------------------------------------------------------------------

@pytest.fixture(scope="module")
def result():
    return small(bounds=[(-2, 3), (1, 4)], max_iter=12)


def test_fields_agree(result):
    assert len(result.best_position) == len(result.best_centers) == len(result.best_spreads) == 2
    for (lo, hi), c, s in zip(result.best_position, result.best_centers, result.best_spreads):
        assert (lo, hi) == (c - s, c + s) and s >= 0
    assert midpoint_sphere(result.best_position) == pytest.approx(result.best_value, abs=1e-12)
    assert len(result.convergence) == 12 and result.convergence[-1] == result.best_value
    assert all(a >= b for a, b in zip(result.convergence, result.convergence[1:]))
    assert result.evaluations == 8 * 13 and result.stop_reason == "max_iterations"
    assert type(result.best_value) is float and type(result.evaluations) is int
    assert all(type(p) is tuple and len(p) == 2 for p in result.best_position)


def test_reads_are_fresh_copies(result):
    for name in ["best_position", "best_centers", "best_spreads", "convergence"]:
        getattr(result, name).clear()
        assert getattr(result, name) and getattr(result, name) is not getattr(result, name)
    assert not hasattr(result, "history")


@pytest.mark.parametrize(
    "value, bounds, text",
    [
        (12.5, [(0.0, 0.0)], "best_value=12.500000, best_position=[(0.0, 0.0)]"),
        (1e-9, [(0.5, 0.5), (1e-5, 1e-5)], "best_value=0.000000, best_position=[(0.5, 0.5), "
                                            "(1e-5, 1e-5)]"),
        (-0.0, [(2.5e16, 2.5e16)], "best_value=-0.000000, best_position=[(2.5e16, 2.5e16)]"),
        (math.nan, [(-3.0, -3.0)], "best_value=NaN, best_position=[(-3.0, -3.0)]"),
        (-math.inf, [(0.1, 0.1)], "best_value=-inf, best_position=[(0.1, 0.1)]"),
    ],
)
def test_repr(value, bounds, text):
    # Bounds of zero width pin every interval, so the repr is known exactly.
    r = small(lambda greys: value, bounds=bounds, max_iter=3)
    assert repr(r) == f"GreyResult({text}, iters=3, stop_reason=max_iterations)"
    assert str(r) == repr(r)


@pytest.mark.parametrize(
    "kwargs, reason, iters",
    [
        ({"target": 1e9}, "target", 1),
        ({"max_evals": 20}, "max_evaluations", 2),
        ({"patience": 2, "tol": 1e9}, "stagnation", 2),
        ({"max_time": 0.0}, "max_time", 1),
        ({"record_history": False}, "max_iterations", 0),
    ],
)
def test_stop_reasons_and_iterations(kwargs, reason, iters):
    r = small(**kwargs)
    assert r.stop_reason == reason and len(r.convergence) == iters
    assert repr(r).endswith(f", iters={iters}, stop_reason={reason})")


def test_docstrings_and_example():
    doc = pso.minimize_grey.__doc__
    assert doc.startswith("Minimizes a grey objective with PSO. Each variable is a *grey number*")
    assert "    >>> r = pso.minimize_grey(f, bounds=(-5, 5), dim=2, seed=42)" in doc
    assert pso.GreyResult.__doc__.splitlines()[0] == (
        "Result of a grey optimization returned by `minimize_grey`.")
    assert [n for n in vars(pso.GreyResult) if not n.startswith("__")
            and not callable(getattr(pso.GreyResult, n))] == [
        "best_position", "best_spreads", "best_value", "convergence", "evaluations",
        "stop_reason", "best_centers", "iterations"]
    assert pso.GreyResult.best_value.__doc__ == "Best objective value (whitenized scalar)."
    r = pso.minimize_grey(midpoint_sphere, bounds=(-5, 5), dim=2, seed=42)
    assert r.best_value < 1e-2


def test_seeded_runs_repeat():
    assert repr(small()) == repr(small()) and small().convergence == small().convergence
    assert small(seed=6).convergence != small().convergence


@pytest.mark.parametrize("velocity, topology", [("constriction", "ring"), ("fips", "von_neumann"),
                                               ("inertia", "random")])
def test_rules_and_topologies_run(velocity, topology):
    r = small("grey_sphere", velocity=velocity, topology=topology, max_iter=3)
    assert r.evaluations == 32 and all(s >= 0 for s in r.best_spreads)


# --- native grey benchmark -------------------------------------------------------------------

def test_native_benchmark_equals_its_formula_in_python():
    def grey_sphere(greys):
        total = -0.0
        for c, s in greys:
            total += c * c + s
        return total
    kw = {"bounds": [(-5.12, 5.12)] * 3, "max_spread": 5.12, "seed": 11, "max_iter": 30}
    native = small("grey_sphere", **kw)
    python = small(grey_sphere, representation="center_spread", **kw)
    assert native.convergence == python.convergence
    assert native.best_position == python.best_position
    # The representation does not reach a native benchmark.
    assert repr(small("grey_sphere", representation="interval", **kw)) == repr(native)


def test_native_run_fails_cleanly_when_the_core_does():
    # Raised while the lock is released; it must come back as an ordinary exception.
    with pytest.raises(pso.PanicException):
        small("grey_sphere", bounds=[(-math.inf, math.inf)])
    assert small("grey_sphere").evaluations == 88


# --- Python errors during the run ------------------------------------------------------------

class Boom(Exception):
    pass


@pytest.mark.parametrize("call_number", [1, 3])
def test_kept_error_stops_python_calls_and_is_raised_after_the_run(call_number):
    calls = []

    def objective(greys):
        calls.append(1)
        if len(calls) == call_number:
            raise Boom(call_number)
        return 1.0
    with pytest.raises(Boom, match=str(call_number)):
        small(objective)
    assert len(calls) == call_number


@pytest.mark.parametrize(
    "objective, message",
    [
        (lambda greys: "1.0", "must be real number, not str"),
        (lambda greys: [1.0], "must be real number, not list"),
        (42, "'int' object is not callable"),
    ],
)
def test_bad_objectives_fail_after_the_run(objective, message):
    with pytest.raises(TypeError) as raised:
        small(objective)
    assert str(raised.value) == message
