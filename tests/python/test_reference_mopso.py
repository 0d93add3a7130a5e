"""Seeded minimize_multi runs and the hypervolume, compared with an independent model.

`reference_mopso` models the documented rules in pure Python (generator, spaces, bounds policies,
velocity rules, archive with crowding and grid pruning, the run loop, the hypervolume). Every
float of a run is compared by its bit pattern, so a sign of zero or a last-bit rounding difference
fails. The hypervolume is the exception: the model sums the literal exclusive-volume recursion,
the library sorts and sweeps, so the two agree in sign and within a relative 1e-12.
"""

import itertools
import math
import random
import struct

import pytest

import corvalinth as pso
import reference_mopso as ref

FIELDS = ("positions", "objectives", "swarm_history", "front_history")


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def same_volume(ours, model):
    return (math.copysign(1.0, ours) == math.copysign(1.0, model)
            and (ours == model or abs(ours - model) <= 1e-12 * abs(model)))


def first_difference(ours, model, path="result"):
    """None when both nested structures hold bit-identical floats, else where they differ."""
    if isinstance(ours, list) and isinstance(model, list):
        if len(ours) != len(model):
            return f"{path}: length {len(ours)} != {len(model)}"
        for i, (a, b) in enumerate(zip(ours, model)):
            found = first_difference(a, b, f"{path}[{i}]")
            if found:
                return found
        return None
    if type(ours) is not float or type(model) is not float:
        return f"{path}: types {type(ours).__name__} / {type(model).__name__}"
    if math.isnan(ours) and math.isnan(model):
        return None
    if bits(ours) != bits(model):
        return f"{path}: {ours!r} != {model!r}"
    return None


def assert_same_front(front, model):
    for name in FIELDS:
        found = first_difference(getattr(front, name), model[name], name)
        assert found is None, found


# --- objectives ----------------------------------------------------------------------------------

def two_anchors(x):
    """Squared distances to the point (0, ...) and to (2, ...): a convex front between them."""
    return [sum(v * v for v in x), sum((v - 2) ** 2 for v in x)]


def three_anchors(x):
    """Squared distances to three points of the plane spanned by the first two coordinates."""
    a = (x[0] - 0.0) ** 2 + (x[1] - 0.0) ** 2
    b = (x[0] - 2.0) ** 2 + (x[1] - 0.5) ** 2
    c = (x[0] - 0.5) ** 2 + (x[1] - 2.0) ** 2
    rest = sum(v * v for v in x[2:])
    return [a + rest, b + rest, c + rest]


def tilted(x):
    """Two objectives with unequal scales and a constant one: ties in the third objective."""
    return [x[0] * 0.5 + x[-1] ** 2, (1.0 - x[0]) ** 3 + abs(x[-1]), 1.0]


def four_anchors(x):
    """three_anchors and the distance to (2, 2): four objectives."""
    return three_anchors(x) + [(x[0] - 2.0) ** 2 + (x[1] - 2.0) ** 2 + sum(v * v for v in x[2:])]


OBJECTIVES = {"two": two_anchors, "three": three_anchors, "tilted": tilted}
FUNCTIONS = {**OBJECTIVES, "four": four_anchors}

BASE = {"n_particles": 7, "max_iter": 9, "archive_size": 4, "seed": 11}


def run_both(objective, bounds, **settings):
    kwargs = {**BASE, **settings}
    front = pso.minimize_multi(objective, bounds, **kwargs)
    # Cuts by hypervolume contribution read the library's contributions (see the model's notes);
    # the model's own agree with them (test_contributions_agree_with_the_model_on_archives).
    model = ref.mopso(objective, bounds, contributions=library_contributions, **kwargs)
    return front, model


def library_contributions(front, reference):
    return list(pso.hypervolume_contributions(front, reference))


# --- runs: a grid over strategy, rule, turbulence and bounds policy ------------------------------

STRATEGIES = [None, 0, 1, 3]
RULES = [{"velocity": "inertia"},
         {"velocity": "inertia", "w": 0.9, "c1": 2.2, "c2": 0.7},
         {"velocity": "constriction"},                  # c1 + c2 <= 4: the 2.05 substitutes
         {"velocity": "constriction", "c1": 3.0, "c2": 1.5}]
POLICIES = ["clamp", "reflect", "wrap", "reinit"]


@pytest.mark.parametrize("grid_divisions", STRATEGIES, ids=lambda d: f"grid{d}")
@pytest.mark.parametrize("rule", RULES, ids=["inertia", "inertia-own", "constr-sub", "constr"])
@pytest.mark.parametrize("bounds_handling", POLICIES)
def test_continuous_runs(grid_divisions, rule, bounds_handling):
    front, model = run_both(two_anchors, [(-1.0, 3.0), (0.5, 2.5)], grid_divisions=grid_divisions,
                            bounds_handling=bounds_handling, **rule)
    assert_same_front(front, model)
    assert model["stats"]["pruned"] > 0
    assert model["stats"]["out_of_bounds"] > 0


@pytest.mark.parametrize("mutation_rate", [0.0, 0.1, 1.0, -0.5, 3.0])
@pytest.mark.parametrize("v_max", [None, 0.3, 0.0])
@pytest.mark.parametrize("grid_divisions", [None, 3])
def test_turbulence_and_velocity_limit(mutation_rate, v_max, grid_divisions):
    front, model = run_both(two_anchors, [(-1.0, 3.0)] * 3, mutation_rate=mutation_rate,
                            v_max=v_max, grid_divisions=grid_divisions, max_iter=12,
                            bounds_handling="reflect")
    assert_same_front(front, model)
    assert (model["stats"]["mutations"] > 0) == (mutation_rate > 0)


SPACES = {
    "continuous": ([(-1.0, 3.0), (-0.5, 2.5), (0.0, 1.0)], {}),
    "integer": ([(-3.4, 4.5), (-2.5, 3.6), (0.0, 2.0)], {"integer": True}),
    "binary": ([(-5.0, 5.0)] * 3, {"binary": True, "integer": True}),
    "mixed": ([(-1.0, 3.0), (0.6, 2.4), (-10.0, 10.0)],
              {"var_types": ["real", "int", "bin"], "binary": True}),
    "mixed-aliases": ([(-2.5, 2.5), (-1.0, 3.0), (0.0, 1.0)],
                      {"var_types": ["integer", "continuous", "binary"]}),
}


@pytest.mark.parametrize("space", list(SPACES))
@pytest.mark.parametrize("objective", list(OBJECTIVES))
@pytest.mark.parametrize("bounds_handling", POLICIES)
@pytest.mark.parametrize("grid_divisions", [None, 3])
def test_spaces_and_objective_counts(space, objective, bounds_handling, grid_divisions):
    bounds, flags = SPACES[space]
    archive_size = 2 if space == "binary" else 3
    front, model = run_both(OBJECTIVES[objective], bounds, bounds_handling=bounds_handling,
                            grid_divisions=grid_divisions, archive_size=archive_size,
                            mutation_rate=0.3, velocity="constriction", **flags)
    assert_same_front(front, model)


@pytest.mark.parametrize(
    "settings",
    [
        {"max_iter": 0},
        {"max_iter": 1, "grid_divisions": 3},
        {"record_history": False},
        {"archive_size": 1},
        {"archive_size": 1, "grid_divisions": 2},
        {"archive_size": 50},                           # never cut: weights only
        {"n_particles": 1, "max_iter": 6},
        {"n_particles": 8, "archive_size": 2, "grid_divisions": 1, "seed": 0},
        {"seed": 2**64 - 1, "mutation_rate": 1.0, "bounds_handling": "reinit"},
        {"seed": 123456789, "max_iter": 12, "v_max": 0.05, "grid_divisions": 5},
    ],
)
@pytest.mark.parametrize("objective", ["two", "three"])
def test_edge_settings(settings, objective):
    front, model = run_both(OBJECTIVES[objective], [(-1.0, 3.0)] * 2, **settings)
    assert_same_front(front, model)


def test_zero_width_dimension_and_coin():
    # A fixed dimension never mutates and is set back by every policy; the coin must be tossed.
    front, model = run_both(two_anchors, [(-1.0, 3.0), (1.0, 1.0)], mutation_rate=1.0,
                            bounds_handling="reflect", max_iter=12)
    assert_same_front(front, model)
    assert model["stats"]["coins"] > 0
    assert all(p[1] == 1.0 for snapshot in front.swarm_history for p in snapshot)


# --- the archive with scripted objective vectors -------------------------------------------------

def scripted(vectors):
    """An objective that ignores its point and answers the given vectors in turn."""
    answers = iter(vectors)
    return lambda _point: next(answers)


def random_front(rng, m, n, nan_rate=0.1):
    """Objective vectors with ties, duplicates, dominated points and occasional NaN."""
    levels = [0.0, 0.5, 1.0, 1.25, 2.0, 3.0]
    points = []
    for _ in range(n):
        if points and rng.random() < 0.15:
            points.append(list(rng.choice(points)))            # a duplicate
            continue
        p = [rng.choice(levels) if rng.random() < 0.5 else round(rng.uniform(-1, 4), 3)
             for _ in range(m)]
        if rng.random() < nan_rate:
            p[rng.randrange(m)] = math.nan
        points.append(p)
    return points


def archive_model(vectors):
    archive = ref.Archive(archive_size=10**6)
    for v in vectors:
        archive.insert([0.0], v)
    return archive.objectives()


FRONT_CASES = [(seed, m) for m in (2, 3, 4) for seed in range(6)]


@pytest.mark.parametrize("seed, m", FRONT_CASES)
def test_insertion_and_front_hypervolume(seed, m):
    rng = random.Random(1000 * m + seed)
    vectors = random_front(rng, m, rng.randint(3, 9))
    front = pso.minimize_multi(scripted(vectors), [(0.0, 1.0)], n_particles=len(vectors),
                               max_iter=0, archive_size=100, seed=seed)
    kept = archive_model(vectors)
    found = first_difference(front.objectives, kept, "objectives")
    assert found is None, found

    expected = ref.hypervolume(kept, ref.default_reference(kept))
    assert same_volume(front.hypervolume(), expected)
    explicit = [rng.choice([2.0, 3.0, 3.5]) for _ in range(m)]
    assert same_volume(front.hypervolume(explicit), ref.hypervolume(kept, explicit))


@pytest.mark.parametrize("seed, m", FRONT_CASES)
def test_free_hypervolume(seed, m):
    rng = random.Random(77 + 1000 * m + seed)
    points = random_front(rng, m, rng.randint(0, 10), nan_rate=0.2)
    if rng.random() < 0.5:
        points.insert(rng.randrange(len(points) + 1), [0.5] * (m - 1))   # another length: ignored
    for reference in ([3.0] * m, [rng.choice([1.25, 2.0, 4.0]) for _ in range(m)],
                      [4.0] * (m - 1) + [1.0]):
        ours = pso.hypervolume(points, reference)
        model = ref.hypervolume(points, reference)
        assert same_volume(ours, model), (points, reference, ours, model)
    uniform = [p for p in points if len(p) == m]
    reference = ref.default_reference(uniform)
    ours, model = pso.hypervolume(uniform, reference), ref.hypervolume(uniform, reference)
    assert same_volume(ours, model), (uniform, reference, ours, model)


def test_model_hypervolume_on_known_fronts():
    # The model itself, on values worked out by hand; a wrong model would pass bit comparisons
    # only if the library had the same fault.
    assert ref.hypervolume([[1, 2], [2, 1]], [3, 3]) == 3.0
    assert ref.hypervolume([[1, 2, 3], [2, 1, 3], [3, 3, 1]], [4, 4, 4]) == 10.0
    assert ref.hypervolume([[1, 1], [1.5, 1.5], [1, 1]], [2, 2]) == 1.0
    assert bits(ref.hypervolume([[1, 3]], [3, 3])) == bits(-0.0)
    assert ref.default_reference([[1, 5], [3, 2]]) == [3.2, 5.3]
    assert ref.hypervolume([[]], []) == 1.0
    assert ref.crowding_distances([[1, 3], [2, 2], [3, 1]]) == [math.inf, 2.0, math.inf]
    archive = ref.Archive(3, grid_divisions=2)
    for v in ([0, 4], [1, 3], [3, 1], [4, 0]):
        archive.insert([0.0], v)
    assert archive.prune_and_weigh() == [0.5, 0.5, 1.0]
    assert archive.objectives() == [[0, 4], [1, 3], [3, 1]]


def test_every_combination_is_distinct_enough():
    # Guard against parameters that silently do nothing in both implementations: different
    # strategies and rules give different fronts from the same seed.
    fronts = {}
    for grid, rule in itertools.product([None, 3], ["inertia", "constriction"]):
        fronts[grid, rule] = ref.mopso(two_anchors, [(-1.0, 3.0)] * 2, grid_divisions=grid,
                                       velocity=rule, **BASE)["swarm_history"]
    assert len({repr(v) for v in fronts.values()}) == 4


# --- the batch form, the callback, the budgets and the warm start -------------------------------

def as_rows(objective):
    """The vectorised form of a per-point objective, on the point type the per-point form gets."""
    def rows(matrix, integer):
        assert matrix.dtype == "float64" and matrix.flags.c_contiguous
        return [objective([int(v) for v in row] if integer else [float(v) for v in row])
                for row in matrix]
    return rows


def batch_of(objective, integer=False):
    rows = as_rows(objective)
    return lambda matrix: rows(matrix, integer)


def assert_same_stop(front, model):
    assert_same_front(front, model)
    assert front.stop_reason == model["stop_reason"]


@pytest.mark.parametrize("space", ["continuous", "integer", "mixed"])
@pytest.mark.parametrize("objective", ["two", "three"])
@pytest.mark.parametrize("grid_divisions", [None, 3])
def test_vectorised_runs_take_the_batch_in_particle_order(space, objective, grid_divisions):
    bounds, flags = SPACES[space]
    batch = batch_of(OBJECTIVES[objective], integer=flags.get("integer", False))
    front, model = run_both(batch, bounds, vectorized=True, grid_divisions=grid_divisions,
                            mutation_rate=0.3, bounds_handling="reflect", **flags)
    assert_same_stop(front, model)
    assert model["stats"]["coins"] > 0


@pytest.mark.parametrize("objective, bounds, settings, whole_run", [
    (two_anchors, [(-1.0, 3.0)] * 2, {}, False),
    # The population step draws no coin, so both forms make one run.
    (three_anchors, SPACES["continuous"][0], {"n_particles": 13, "swarm_selection": "nondominated"},
     True),
])
def test_vectorised_run_differs_from_the_per_particle_one_only_by_its_coins(objective, bounds,
                                                                            settings, whole_run):
    # Same initial swarm (first snapshot), and an identical run while no coin is tossed.
    settings = {**BASE, **settings}
    per_particle = pso.minimize_multi(objective, bounds, **settings)
    vectorised = pso.minimize_multi(batch_of(objective), bounds, vectorized=True, **settings)
    assert vectorised.swarm_history[0] == per_particle.swarm_history[0]
    assert vectorised.front_history[0] == per_particle.front_history[0]
    if whole_run:
        for name in FIELDS:
            assert first_difference(getattr(vectorised, name), getattr(per_particle, name)) is None


def numpy_rows(matrix):
    return [[float(r[0]) * 0.5 + float(r[-1]) ** 2, (1.0 - float(r[0])) ** 3 + abs(float(r[-1]))]
            for r in matrix]


@pytest.mark.parametrize(
    "settings",
    [
        {"callback": lambda t, size: t < 3},
        {"callback": lambda t, size: None},
        {"max_evals": 30},
        {"max_evals": 7},                                    # reached after the first iteration
        {"max_evals": 30, "callback": lambda t, size: True},
        {"max_iter": 0, "callback": lambda t, size: False},  # never called
        {"x0": [0.5, 1.0]},
        {"x0": [[0.5, 1.0], [2.0, 0.5], [-1.0, 3.0]]},
        {"x0": [[0.5, 1.0]] * 7, "vectorized": True},
        {"max_evals": 40, "vectorized": True},
        {"callback": lambda t, size: t < 5, "vectorized": True, "grid_divisions": 2},
    ],
)
def test_stop_criteria_and_warm_starts(settings):
    objective = numpy_rows if settings.get("vectorized") else tilted
    front, model = run_both(objective, [(-1.0, 3.0), (0.5, 3.0)], **settings)
    assert_same_stop(front, model)


def test_callback_sees_each_iteration_and_the_front_size_the_result_would_have():
    seen = []
    kwargs = {**BASE, "archive_size": 3}
    front = pso.minimize_multi(two_anchors, [(-1.0, 3.0)] * 2,
                               callback=lambda t, size: seen.append((t, size)), **kwargs)
    assert [t for t, _ in seen] == list(range(BASE["max_iter"]))
    assert all(1 <= size <= 3 for _, size in seen)
    assert seen[-1][1] == len(front.positions)
    stopped = pso.minimize_multi(two_anchors, [(-1.0, 3.0)] * 2,
                                 callback=lambda t, size: t < 4, **kwargs)
    assert stopped.stop_reason == "callback"
    assert len(stopped.positions) == seen[4][1]


# --- the search options and the preset -----------------------------------------------------------

@pytest.mark.parametrize("velocity", ["speed_constrained", "inertia"])
@pytest.mark.parametrize("turbulence", ["polynomial", "decaying"])
@pytest.mark.parametrize("archive_truncation", ["hypervolume", "crowding"])
@pytest.mark.parametrize("space", ["continuous", "integer", "mixed"])
@pytest.mark.parametrize("objective", ["two", "three", "four"])
def test_search_options_alone_and_together(velocity, turbulence, archive_truncation, space,
                                           objective):
    bounds, flags = SPACES[space]
    front, model = run_both(FUNCTIONS[objective], bounds, velocity=velocity,
                            turbulence=turbulence, archive_truncation=archive_truncation,
                            n_particles=13, mutation_rate=0.5, bounds_handling="reflect", **flags)
    assert_same_front(front, model)
    assert model["stats"]["pruned"] > 0


# Crossover alone (both children), and the population step with crossover or without.
CROSSOVER_CASES = [
    *itertools.product(["none"], [0.4, 1.0], ["continuous", "integer", "mixed"], ["two", "three"],
                       ["sbx"]),
    *itertools.product(["nondominated"], [0.0, 0.3], ["continuous", "mixed"],
                       ["two", "three", "four"], ["sbx"]),
    *itertools.product(["none", "nondominated"], [0.5], ["continuous", "integer", "mixed"],
                       ["two", "three"], ["de"]),
]


@pytest.mark.parametrize("selection, share, space, objective, crossover", CROSSOVER_CASES)
@pytest.mark.parametrize("vectorized", [False, True])
@pytest.mark.parametrize("archive_truncation", ["hypervolume", "crowding"])
def test_archive_crossover_and_population_step(selection, share, space, objective, crossover,
                                               vectorized, archive_truncation):
    bounds, flags = SPACES[space]
    function = FUNCTIONS[objective]
    if vectorized:
        function = batch_of(function, integer=flags.get("integer", False))
    # 13 particles give 26 candidates, more than one front, so the crowding cut is exercised.
    front, model = run_both(function, bounds, swarm_selection=selection,
                            crossover_share=share, crossover=crossover, vectorized=vectorized,
                            archive_truncation=archive_truncation, n_particles=13,
                            turbulence="polynomial", velocity="speed_constrained", **flags)
    assert_same_stop(front, model)
    if selection == "nondominated":  # four objectives: the step is left out, coins are tossed
        assert (model["stats"]["coins"] == 0) == (objective != "four")


@pytest.mark.parametrize(
    "settings",
    [
        {"max_iter": 9},
        {"max_evals": 150},                       # no iteration limit: the budget ends the run
        {"max_evals": 150, "max_iter": 3},        # a given max_iter stays
        {"max_evals": 150, "max_iter": 100},      # even when it is the default value
        {"max_iter": 6, "w": 0.729, "velocity": "inertia"},
        {"max_evals": 60, "vectorized": True},
        {"callback": lambda t, size: t < 4, "max_evals": 10**6},
        {"max_iter": 5, "grid_divisions": None, "archive_truncation": "crowding"},
        {"x0": [[0.5, 1.0], [2.0, 0.5]], "velocity": "constriction", "grid_divisions": 3,
         "max_iter": 9},
        {"turbulence": "decaying", "archive_truncation": "crowding", "mutation_rate": 0.0,
         "max_iter": 9},
    ],
)
def test_robust_preset(settings):
    # max_iter only when the case gives it: the preset treats a given one differently.
    objective = numpy_rows if settings.get("vectorized") else tilted
    kwargs = {"n_particles": 7, "archive_size": 4, "seed": 11, "preset": "robust", **settings}
    front = pso.minimize_multi(objective, [(-1.0, 3.0), (0.5, 3.0)], **kwargs)
    model = ref.mopso(objective, [(-1.0, 3.0), (0.5, 3.0)], contributions=library_contributions,
                      **kwargs)
    assert_same_stop(front, model)
    assert front.evaluations == model["evaluations"]


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("m", [2, 3, 4])
def test_contributions_agree_with_the_model_on_archives(seed, m):
    # Mutually non-dominated fronts with repeated values, under the archive's own reference.
    rng = random.Random(seed)
    archive = ref.Archive(100)
    for _ in range(40):
        archive.insert([], [float(rng.randint(0, 6)) + rng.choice([0.0, 0.25]) for _ in range(m)])
    front = archive.objectives()
    reference = ref.default_reference(front)
    ours = library_contributions(front, reference)
    model = ref.contributions(front, reference)
    assert len(ours) == len(model) == len(front)
    for a, b in zip(ours, model):
        assert same_volume(a, b) or (a == 0.0 and abs(b) <= 1e-12), (a, b)
