"""minimize_multi and ParetoFront: checks and their order, the front, spaces, kept errors, ZDT1."""

import inspect
import math

import numpy as np
import pytest

import corvalinth as pso
import reference_mopso as ref

BOX = [(-1, 3)] * 2
FIPS = "MOPSO needs a single-leader velocity ('inertia' or 'constriction'); 'fips' does not apply"


def two_targets(x):
    """Distance to 0 and to 2 in every coordinate: a convex front between the two."""
    return [sum(v * v for v in x), sum((v - 2) ** 2 for v in x)]


def small(objective=two_targets, bounds=BOX, **kwargs):
    return pso.minimize_multi(objective, bounds, **{"n_particles": 10, "max_iter": 8, "seed": 3,
                                                     **kwargs})


def dominates(a, b):
    return all(x <= y for x, y in zip(a, b)) and any(x < y for x, y in zip(a, b))


@pytest.fixture(scope="module")
def front():
    return small(archive_size=12, n_particles=20, max_iter=15)


# --- checks before the run -------------------------------------------------------------------

@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"velocity": "fips"}, FIPS),
        ({"velocity": "FIPS"}, "unknown variant: 'FIPS'. Available: inertia, constriction, fips"),
        ({"bounds": []}, "bounds is empty"),
        ({"bounds": (0, 1)}, "with a single (min, max) bound, pass dim=<number of dimensions>"),
        ({"bounds": BOX, "dim": 3}, "dim=3 does not match the 2 bound pairs given"),
        ({"n_particles": 0}, "n_particles must be >= 1"),
        ({"v_max": -0.5}, "v_max must be a finite value >= 0 (or None to disable)"),
        ({"v_max": math.nan}, "v_max must be a finite value >= 0 (or None to disable)"),
        ({"archive_size": 0}, "archive_size must be >= 1"),
        ({"bounds_handling": "bounce"},
         "unknown bounds_handling: 'bounce'. Available: clamp, reflect, wrap, reinit"),
        ({"var_types": ["real"]}, "var_types length must match bounds"),
        ({"var_types": ["real", "bool"]},
         "unknown variable type: 'bool'. Available: real, integer, binary"),
        ({"preset": "fast"}, "unknown preset: 'fast' (expected 'robust')"),
        ({"turbulence": "gauss"},
         "unknown turbulence: 'gauss'. Available: decaying, polynomial"),
        ({"archive_truncation": "grid"},
         "unknown archive_truncation: 'grid'. Available: crowding, hypervolume"),
        ({"archive_truncation": "hypervolume", "grid_divisions": 4},
         "archive_truncation='hypervolume' cannot be combined with grid_divisions"),
        ({"crossover": "blx"}, "unknown crossover: 'blx'. Available: sbx, de"),
        *(({"crossover_share": share}, "crossover_share must be in [0, 1]")
          for share in (-0.1, 1.5, math.nan, math.inf)),
        # var_types takes over from the integer and binary flags, and is checked first.
        ({"var_types": ["int"], "binary": True, "integer": True},
         "var_types length must match bounds"),
    ],
)
def test_setting_errors(kwargs, message):
    with pytest.raises(ValueError) as raised:
        small(**kwargs)
    assert str(raised.value) == message


# Two failing checks: the earlier one wins.
@pytest.mark.parametrize(
    "kwargs, error, fragment",
    [
        ({"velocity": "fips", "bounds": "nonsense", "n_particles": 0}, ValueError, "'fips'"),
        ({"velocity": "fips", "var_types": ["x"], "archive_size": 0}, ValueError, "'fips'"),
        ({"velocity": "fips", "n_particles": "x"}, TypeError, "argument 'n_particles'"),
        ({"bounds": [], "n_particles": 0}, ValueError, "bounds is empty"),
        ({"n_particles": 0, "v_max": -1, "archive_size": 0}, ValueError, "n_particles"),
        ({"v_max": -1, "archive_size": 0}, ValueError, "v_max"),
        ({"archive_size": 0, "velocity": "x"}, ValueError, "archive_size"),
        ({"velocity": "x", "bounds_handling": "x"}, ValueError, "variant"),
        ({"bounds_handling": "x", "var_types": ["real"]}, ValueError, "bounds_handling"),
        ({"var_types": ["real"] * 2, "bounds": [(1, 0)]}, ValueError, "var_types length"),
        ({"var_types": ["x", "real"], "bounds": [(1, 0)] * 2}, ValueError, "variable type"),
        # A space that cannot be built is an internal error, raised before any call.
        ({"bounds": [(0, 1), (2, 1)], "objective": "not callable"}, pso.PanicException,
         "invalid bound in dimension 1"),
    ],
)
def test_validation_order(kwargs, error, fragment):
    with pytest.raises(error) as raised:
        small(**kwargs)
    assert fragment in str(raised.value)


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "minimize_multi() missing 2 required positional arguments: 'objective' and "
                 "'bounds'"),
        ((two_targets,), {}, "minimize_multi() missing 1 required positional argument: 'bounds'"),
        ((two_targets, BOX), {"topology": "ring"},
         "minimize_multi() got an unexpected keyword argument 'topology'"),
        ((two_targets, BOX), {"bounds": BOX},
         "minimize_multi() got multiple values for argument 'bounds'"),
        ((two_targets, BOX) + (None,) * 18, {},
         "minimize_multi() takes from 2 to 19 positional arguments but 20 were given"),
    ],
)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        pso.minimize_multi(*args, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "kwargs, name",
    [
        ({"archive_size": 2.0}, "archive_size"),
        ({"mutation_rate": "0.1"}, "mutation_rate"),
        ({"grid_divisions": 1.5}, "grid_divisions"),
        ({"var_types": "real"}, "var_types"),
        ({"integer": 1}, "integer"),
        ({"record_history": None}, "record_history"),
        ({"bounds_handling": None}, "bounds_handling"),
    ],
)
def test_conversion_errors_name_the_argument(kwargs, name):
    with pytest.raises(TypeError) as raised:
        small(**kwargs)
    assert str(raised.value) == f"argument '{name}': {raised.value.__cause__}"


@pytest.mark.parametrize("name", ["archive_size", "grid_divisions", "n_particles"])
def test_negative_counts_overflow(name):
    with pytest.raises(OverflowError):
        small(**{name: -1})


def test_docstrings():
    assert pso.minimize_multi.__doc__.startswith(
        "Multi-objective optimization (MOPSO). Returns the Pareto front.\n")
    assert pso.ParetoFront.__doc__.splitlines()[0] == (
        "An approximated Pareto front returned by `minimize_multi`.")
    assert [n for n in vars(pso.ParetoFront) if not n.startswith("__")
            and not callable(getattr(pso.ParetoFront, n))] == [
        "positions", "swarm_history", "front_history", "objectives", "iterations",
        "stop_reason", "evaluations", "recorded_evaluations", "parameters", "params", "violations", "feasible"]
    assert pso.ParetoFront.front_history.__doc__ == (
        "Pareto-front objective snapshots per iteration (empty if\nrecord_history=False).")
    assert pso.ParetoFront.positions.__doc__ == "Non-dominated decision vectors."
    assert pso.ParetoFront.hypervolume.__doc__.splitlines()[-1] == (
        "    float: the hypervolume (``0.0`` for an empty front).")
    assert str(inspect.signature(pso.ParetoFront.hypervolume)) == "(self, /, reference=None)"


# --- the front -------------------------------------------------------------------------------

def test_front_is_non_dominated_and_matches_its_objective(front):
    assert 0 < len(front.positions) == len(front.objectives) <= 12
    for p, f in zip(front.positions, front.objectives):
        assert two_targets(p) == f  # continuous positions are handed over as they are
        assert all(-1 <= v <= 3 for v in p)
    for a in front.objectives:
        assert not any(dominates(b, a) for b in front.objectives)
    assert all(type(v) is float for row in front.positions + front.objectives for v in row)
    assert all(type(v) is float for it in front.swarm_history for p in it for v in p)
    assert all(type(v) is float for it in front.front_history for m in it for v in m)


def test_repr_and_identity(front):
    assert repr(front) == f"ParetoFront(size={len(front.positions)})"
    assert str(front) == repr(front)
    assert repr(small(objective=lambda x: [1.0, 1.0])) == "ParetoFront(size=1)"
    assert front == front and front != small()


@pytest.mark.parametrize("name", ["positions", "objectives", "swarm_history", "front_history"])
def test_attributes_are_fresh_copies(front, name):
    first = getattr(front, name)
    first.clear()
    assert getattr(front, name) != first and getattr(front, name) == getattr(front, name)


def test_histories(front):
    swarm, snapshots = front.swarm_history, front.front_history
    assert np.shape(swarm) == (15, 20, 2)
    assert len(snapshots) == 15
    assert all(1 <= len(s) <= 12 and all(len(v) == 2 for v in s) for s in snapshots)
    assert snapshots[0] != snapshots[-1]
    quiet = small(record_history=False)
    assert quiet.swarm_history == [] and quiet.front_history == []
    assert quiet.objectives == small().objectives  # recording does not change the run


def test_no_iterations_gives_the_front_of_the_first_swarm():
    f = small(max_iter=0, n_particles=7, archive_size=100)
    assert f.swarm_history == [] and f.front_history == []
    assert 1 <= len(f.positions) <= 7


@pytest.mark.parametrize("grid_divisions", [None, 0, 1, 10])
def test_archive_size_caps_the_front(grid_divisions):
    f = small(archive_size=4, n_particles=30, max_iter=10, grid_divisions=grid_divisions)
    assert len(f.positions) == 4  # the convex front has far more than four points
    assert all(len(s) <= 4 for s in f.front_history)


def test_seeded_runs_repeat_and_seeds_and_strategies_matter():
    a, b = small(), small()
    assert (a.positions, a.objectives, a.swarm_history, a.front_history) == (
        b.positions, b.objectives, b.swarm_history, b.front_history)
    assert small(seed=4).positions != a.positions
    assert small(grid_divisions=5).front_history != a.front_history
    assert small(mutation_rate=0.0).swarm_history != a.swarm_history


@pytest.mark.parametrize("handling", ["clamp", "reflect", "wrap", "reinit"])
def test_bounds_policies_keep_the_swarm_inside(handling):
    f = small(bounds=[(0, 1)] * 3, bounds_handling=handling, w=2.0, max_iter=5)
    assert all(0 <= v <= 1 for it in f.swarm_history for p in it for v in p)


def test_zero_velocity_limit_without_turbulence_freezes_the_swarm():
    f = small(v_max=0.0, mutation_rate=0.0)
    assert f.swarm_history[0] == f.swarm_history[-1]


# --- spaces ----------------------------------------------------------------------------------

def recording(objective=two_targets):
    seen = []

    def wrapped(x):
        seen.append(list(x))
        return objective(x)
    return wrapped, seen


@pytest.mark.parametrize(
    "kwargs, kind, allowed",
    [
        ({"integer": True, "bounds": [(-2.5, 2.5)] * 2}, int, range(-3, 4)),
        ({"binary": True, "bounds": [(5, -5)] * 2}, int, (0, 1)),
        ({"binary": True, "integer": True}, int, (0, 1)),
    ],
)
def test_integer_and_binary_spaces(kwargs, kind, allowed):
    objective, seen = recording()
    f = small(objective, **kwargs)
    assert all(type(v) is kind and v in allowed for x in seen for v in x)
    assert all(type(v) is float and v in allowed for p in f.positions for v in p)
    for p, o in zip(f.positions, f.objectives):
        assert two_targets([int(v) for v in p]) == o


def test_mixed_space_passes_whole_valued_floats():
    objective, seen = recording()
    f = small(objective, bounds=[(0, 1), (-3.2, 3.2), (0, 1)], var_types=["float", "int", "bin"])
    assert all(type(v) is float for x in seen for v in x)
    assert {x[2] for x in seen} <= {0.0, 1.0}
    assert all(x[1] == round(x[1]) and -3 <= x[1] <= 3 for x in seen)
    assert any(x[0] != round(x[0]) for x in seen)
    assert all(p[1].is_integer() and p[2] in (0.0, 1.0) for p in f.positions)


# --- hypervolume method ----------------------------------------------------------------------

def test_hypervolume_matches_the_free_function(front):
    objectives = front.objectives
    assert front.hypervolume() == pso.hypervolume(objectives, ref.default_reference(objectives))
    assert front.hypervolume(None) == front.hypervolume()
    for reference in ([50.0, 50.0], (20, 30), np.array([10.0, 12.0])):
        expected = pso.hypervolume(objectives, reference)
        assert front.hypervolume(reference) == expected > 0
        assert front.hypervolume(reference=reference) == expected


def test_hypervolume_of_a_single_point_front():
    # One member (1, 2): the default reference adds 1.0 in each objective.
    f = small(objective=lambda x: [1.0, 2.0])
    assert f.hypervolume() == 1.0
    assert f.hypervolume([1.0, 3.0]) == -0.0  # not strictly better in the first objective


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        (([10.0],), {}, ValueError, "reference must have one value per objective (2), got 1"),
        (([1, 2, 3],), {}, ValueError, "reference must have one value per objective (2), got 3"),
        (("ab",), {}, TypeError, "argument 'reference': Can't extract `str` to `Vec`"),
        (([1, "a"],), {}, TypeError, "argument 'reference': must be real number, not str"),
        ((5,), {}, TypeError,
         "argument 'reference': 'int' object cannot be converted to 'Sequence'"),
        (([1, 1], 2), {}, TypeError,
         "hypervolume() takes from 0 to 1 positional arguments but 2 were given"),
        ((), {"ref": [1, 1]}, TypeError, "hypervolume() got an unexpected keyword argument 'ref'"),
    ],
)
def test_hypervolume_errors(front, args, kwargs, error, message):
    with pytest.raises(error) as raised:
        front.hypervolume(*args, **kwargs)
    assert str(raised.value) == message


def test_zero_objectives_make_a_one_member_front():
    f = small(objective=lambda x: [])
    assert f.objectives == [[]] and len(f.positions) == 1
    assert f.hypervolume() == 1.0 and f.hypervolume([]) == 1.0
    with pytest.raises(ValueError, match=r"per objective \(0\), got 1"):
        f.hypervolume([1.0])


# --- Python errors during the run ------------------------------------------------------------

class Boom(Exception):
    pass


def raising_on(call_number, calls, answer=two_targets):
    def objective(x):
        calls.append(1)
        if len(calls) == call_number:
            raise Boom(call_number)
        return answer(x)
    return objective


@pytest.mark.parametrize("call_number", [1, 2, 25])
def test_kept_error_stops_python_calls_and_is_raised_after_the_run(call_number):
    calls = []
    with pytest.raises(Boom) as raised:
        small(raising_on(call_number, calls), max_iter=5)
    assert len(calls) == call_number
    assert raised.value.args == (call_number,)
    assert raised.value.__traceback__ is not None


@pytest.mark.parametrize("first, later", [(1, 2), (3, 2), (2, 0), (0, 1)])
def test_a_changing_number_of_objectives_is_a_value_error(first, later):
    calls = []

    def objective(x):
        calls.append(1)
        return [0.5] * (first if len(calls) < 4 else later)
    with pytest.raises(ValueError) as raised:
        small(objective)
    assert len(calls) == 4
    assert str(raised.value).startswith(f"objective returned {later} value")
    assert f"first answer had {first} value" in str(raised.value)


@pytest.mark.parametrize(
    "objective, error, message",
    [
        (lambda x: "ab", TypeError, "Can't extract `str` to `Vec`"),
        (lambda x: 1.5, TypeError, "'float' object cannot be converted to 'Sequence'"),
        (lambda x: [1.0, None], TypeError, "must be real number, not NoneType"),
        ("two_targets", TypeError, "'str' object is not callable"),
        (None, TypeError, "'NoneType' object is not callable"),
    ],
)
def test_bad_objectives_fail_after_the_run(objective, error, message):
    with pytest.raises(error) as raised:
        small(objective)
    assert str(raised.value) == message


def test_objective_may_call_the_module():
    inner = []

    def objective(x):
        inner.append(pso.minimize_multi(two_targets, [(0, 1)], n_particles=2, max_iter=1, seed=1))
        return two_targets(x)
    small(objective, n_particles=2, max_iter=1)
    assert len(inner) == 4 and all(len(f.positions) >= 1 for f in inner)


# --- a published problem ---------------------------------------------------------------------

def zdt1(x):
    g = 1.0 + 9.0 * math.fsum(x[1:]) / (len(x) - 1)
    return [x[0], g * (1.0 - math.sqrt(x[0] / g))]


# The true ZDT1 front is f2 = 1 - sqrt(f1) on [0, 1]; under (1.1, 1.1) it dominates
# 1.1 * 1.1 - the integral of 1 - sqrt(f1) from 0 to 1 = 1.21 - 1/3.
ZDT1_TRUE_HYPERVOLUME = 1.21 - 1.0 / 3.0


def sweep_hypervolume(points, reference):
    """Two-objective hypervolume by a sweep over f1, for comparison."""
    inside = sorted(p for p in points if p[0] < reference[0] and p[1] < reference[1])
    total, ceiling = 0.0, reference[1]
    for f1, f2 in inside:
        if f2 < ceiling:
            total += (reference[0] - f1) * (ceiling - f2)
            ceiling = f2
    return total


@pytest.mark.parametrize("grid_divisions", [None, 10])
def test_zdt1_front_is_close_to_the_true_front(grid_divisions):
    f = pso.minimize_multi(zdt1, [(0.0, 1.0)] * 30, n_particles=100, max_iter=100, seed=2024,
                           grid_divisions=grid_divisions, record_history=False)
    assert len(f.positions) == 100
    assert [zdt1(p) for p in f.positions] == f.objectives
    hypervolume = f.hypervolume([1.1, 1.1])
    assert hypervolume == pytest.approx(sweep_hypervolume(f.objectives, [1.1, 1.1]), rel=1e-12)
    # Measured ratios are about 0.99 for both strategies; no front can beat the true one.
    assert 0.95 <= hypervolume / ZDT1_TRUE_HYPERVOLUME <= 1.0


# --- search options and the robust preset ------------------------------------------------------

def batch(objective):
    return lambda matrix: [objective(list(row)) for row in matrix]


PRESET_SETTINGS = {"velocity": "speed_constrained", "w": 0.4, "turbulence": "polynomial",
                   "archive_truncation": "hypervolume", "crossover_share": 0.3,
                   "crossover": "de", "swarm_selection": "nondominated"}
CALLER_SETTINGS = [{}, {"velocity": "constriction"}, {"w": 0.6}, {"turbulence": "decaying"},
                   {"grid_divisions": 5}, {"archive_truncation": "crowding", "w": 0.5},
                   {"crossover_share": 0.0}, {"swarm_selection": "none"}, {"crossover": "sbx"}]


@pytest.mark.parametrize("given", CALLER_SETTINGS)
@pytest.mark.parametrize("vectorized", [False, True])
def test_robust_preset_fills_only_what_the_caller_left_at_its_default(given, vectorized):
    objective = batch(two_targets) if vectorized else two_targets
    common = {"n_particles": 14, "max_iter": 8, "archive_size": 6, "seed": 3,
              "vectorized": vectorized}
    with_preset = pso.minimize_multi(objective, BOX, preset="robust", **common, **given)
    spelled = {**PRESET_SETTINGS, **given}
    if "grid_divisions" in given:
        spelled["archive_truncation"] = "crowding"
    spelled_out = pso.minimize_multi(objective, BOX, **common, **spelled)
    assert with_preset.to_dict() == spelled_out.to_dict()


def test_robust_preset_lets_a_time_budget_end_the_run():
    # Evaluation budgets under the preset are compared with the reference model.
    f = pso.minimize_multi(two_targets, BOX, n_particles=10, seed=1, preset="robust",
                           record_history=False, max_time=0.05)
    assert f.stop_reason == "max_time"
    bounded = pso.minimize_multi(two_targets, BOX, n_particles=10, seed=1, preset="robust",
                                 max_iter=3, max_time=0.05)
    assert bounded.iterations == 3 and bounded.evaluations == 40


def test_evaluations_count_every_objective_vector():
    calls = []
    f = pso.minimize_multi(lambda x: calls.append(1) or two_targets(x), BOX, n_particles=6,
                           max_iter=4, seed=2)
    assert f.evaluations == len(calls) == 30
    assert f.to_dict()["evaluations"] == 30


@pytest.mark.parametrize("crossover", ["sbx", "de"])
@pytest.mark.parametrize("share", [0.5, 1.0])
@pytest.mark.parametrize("seed", range(4))
def test_archive_crossover_keeps_every_point_in_the_box(crossover, share, seed):
    # Narrow, offset and wide dimensions; the front lies on a box edge, where children of two
    # members spread past the bounds unless they are limited.
    bounds = [(-1e-3, 1e-3), (4.0, 4.5), (-1e6, 1e6)]
    seen = []

    def edge(x):
        seen.append(list(x))
        return [x[0] + x[1], -x[0] + (x[2] * 1e-6) ** 2]

    pso.minimize_multi(edge, bounds, n_particles=12, max_iter=15, seed=seed,
                       crossover_share=share, crossover=crossover, preset="robust")
    assert all(lo <= v <= hi for point in seen for v, (lo, hi) in zip(point, bounds))
