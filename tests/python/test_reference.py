"""Seeded runs of the library against an independent pure-Python model of its rules.

Every case runs ``corvalinth`` and ``reference_swarm`` with the same settings and demands the
same doubles, bit for bit (signed zeros included; any NaN matches any NaN): the trace of raw
positions, the convergence curve, the decoded best position, the best value, the evaluation count
and the stop reason. The runs are small so that the pure-Python ChaCha stays quick.
"""

import math
import struct

import numpy as np
import pytest

import corvalinth as pso
import reference_common as common
import reference_swarm as ref

RULES = [
    ("inertia", {}),
    ("inertia", {"w": 0.4, "c1": 2.0, "c2": 1.0}),
    ("constriction", {}),                       # sum below 4: runs with 2.05 / 2.05
    ("constriction", {"c1": 3.0, "c2": 1.5}),   # sum above 4: its own coefficients
    ("fips", {}),                               # phi 4.1
    ("fips", {"c1": 2.5, "c2": 2.5}),           # phi 5.0
]
TOPOLOGIES = ["global", "ring", "vonneumann", "von_neumann", "random"]
POLICIES = ["clamp", "reflect", "wrap", "reinit"]

# leaves its box often: strong inertia, strong pulls and a few narrow ranges
RESTLESS = {"w": 1.2, "c1": 2.0, "c2": 2.0}


def shifted_sphere(x):
    return sum((v - 0.3) * (v - 0.3) for v in x)


def tilted(x):
    return sum((i + 1) * v * v - v for i, v in enumerate(x))


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def same_double(a, b):
    return (math.isnan(a) and math.isnan(b)) or bits(a) == bits(b)


def assert_same_doubles(got, want, what):
    got, want = list(got), list(want)
    assert len(got) == len(want), f"{what}: {len(got)} values, model has {len(want)}"
    for k, (a, b) in enumerate(zip(got, want)):
        assert type(a) is float, f"{what}[{k}] is {type(a).__name__}"
        assert same_double(a, float(b)), f"{what}[{k}]: library {a!r}, model {b!r}"


def assert_same_run(got, want):
    assert len(got.history) == len(want.history), "history length"
    for t, (swarm_got, swarm_want) in enumerate(zip(got.history, want.history)):
        assert len(swarm_got) == len(swarm_want)
        for i, (p_got, p_want) in enumerate(zip(swarm_got, swarm_want)):
            assert_same_doubles(p_got, p_want, f"history[{t}][{i}]")
    assert_same_doubles(got.convergence, want.convergence, "convergence")
    assert_same_doubles(got.best_position, want.best_position, "best_position")
    assert same_double(got.best_value, want.best_value), (got.best_value, want.best_value)
    assert got.evaluations == want.evaluations
    assert got.stop_reason == want.stop_reason


def both(objective, bounds, **kwargs):
    got = pso.minimize(objective, bounds, **kwargs)
    want = ref.minimize(objective, bounds, **kwargs)
    assert_same_run(got, want)
    return want


@pytest.mark.parametrize("velocity, coefficients", RULES)
@pytest.mark.parametrize("topology", TOPOLOGIES)
def test_every_rule_under_every_topology(velocity, coefficients, topology):
    # 7 particles make a 2 x 4 von Neumann grid with an empty cell
    both(shifted_sphere, [(-2, 2), (-1, 3), (0, 1)], n_particles=7, max_iter=10, seed=11,
         velocity=velocity, topology=topology, **coefficients)


@pytest.mark.parametrize("velocity", ["inertia", "fips"])
def test_von_neumann_grid_with_three_rows(velocity):
    # 10 particles: a 3 x 4 grid whose last row holds two; up, down, left and right all differ
    both(lambda x: round(tilted(x), 1), [(-2, 2)] * 2, n_particles=10, max_iter=6, seed=12,
         velocity=velocity, topology="vonneumann")


@pytest.mark.parametrize("policy", ["clamp", "reinit"])
def test_draw_ranges_whose_scale_is_stepped_down(policy):
    # for these ranges (hi - lo) / (1 - 2**-52) overshoots and the closed draw must shrink it
    both(tilted, [(-0.1, 0.2), (-0.2, 0.4), (-0.05, 0.1)], n_particles=6, max_iter=8, seed=29,
         bounds_handling=policy, **RESTLESS)


SPACES = {
    "continuous": ({}, [(-1.0, 1.0), (0.0, 0.25), (2.0, 2.0), (-3.0, 3.0)]),
    "integer": ({"integer": True}, [(-1.5, 1.5), (0.0, 1.0), (3.0, 3.0), (-4.4, 4.6)]),
    "binary": ({"binary": True}, [(-7.0, 7.0)] * 4),
    "mixed": ({"var_types": ["real", "integer", "binary", "int"]},
              [(-1.0, 1.0), (0.6, 2.4), (-10.0, 10.0), (2.0, 2.0)]),
}


@pytest.mark.parametrize("policy", POLICIES)
@pytest.mark.parametrize("space", SPACES)
@pytest.mark.parametrize("velocity", ["inertia", "fips"])
def test_bounds_policies_in_every_space(policy, space, velocity):
    extra, bounds = SPACES[space]
    model = both(tilted, bounds, n_particles=5, max_iter=12, seed=5, velocity=velocity,
                 topology="ring", bounds_handling=policy, **extra, **RESTLESS)
    assert model.outside >= 8, "the policy hardly had anything to do"


@pytest.mark.parametrize("v_max", [0.0, 0.05, 0.7])
@pytest.mark.parametrize("velocity, coefficients", [RULES[0], RULES[3], RULES[5]])
@pytest.mark.parametrize("policy", ["reflect", "reinit"])
def test_velocity_clamp(v_max, velocity, coefficients, policy):
    both(tilted, [(-1, 1)] * 3, n_particles=4, max_iter=8, seed=23, v_max=v_max,
         velocity=velocity, bounds_handling=policy, **coefficients)


@pytest.mark.parametrize("name", ["sphere", "rastrigin", "ackley", "levy", "expanded_schaffer"])
@pytest.mark.parametrize("space, bounds", [
    ({}, [(-3.0, 3.0)] * 3),
    ({}, [(-3.0, 3.0)]),
    ({"integer": True}, [(-3.0, 3.0)] * 2),
    ({"var_types": ["real", "int"]}, [(-3.0, 3.0)] * 2),
])
def test_native_benchmarks(name, space, bounds):
    both(name, bounds, n_particles=5, max_iter=10, seed=2, topology="vonneumann", **space)


@pytest.mark.parametrize("name, bound", [("sphere", 5.12), ("rastrigin", 5.12),
                                         ("ackley", 32.768), ("levy", 10.0),
                                         ("expanded_schaffer", 100.0)])
@pytest.mark.parametrize("dim", [1, 2, 5])
def test_native_formulas_point_by_point(name, bound, dim):
    # one particle and no iteration: the best value is the formula at one seeded point
    for seed in range(40):
        got = pso.minimize(name, [(-bound, bound)] * dim, n_particles=1, max_iter=0, seed=seed)
        point = common.ContinuousSpace([(-bound, bound)] * dim).init_position(common.Rng(seed))
        assert got.best_position == point
        assert same_double(got.best_value, ref.NATIVE[name](point)), (seed, point)


def test_native_and_python_objectives_agree_on_the_same_formula():
    bounds = [(-5.12, 5.12)] * 3
    python = both(ref.rastrigin, bounds, n_particles=6, max_iter=10, seed=8)
    native = pso.minimize("rastrigin", bounds, n_particles=6, max_iter=10, seed=8)
    assert native.history == python.history and native.convergence == python.convergence


def batch_tilted(rows):
    return (rows * rows * np.arange(1, rows.shape[1] + 1) - rows).sum(axis=1)


@pytest.mark.parametrize("space", SPACES)
@pytest.mark.parametrize("topology, velocity", [("global", "inertia"), ("random", "fips"),
                                                ("ring", "constriction")])
def test_vectorised_objective_runs_synchronously(space, topology, velocity):
    extra, bounds = SPACES[space]
    both(batch_tilted, bounds, n_particles=6, max_iter=8, seed=17, vectorized=True,
         topology=topology, velocity=velocity, bounds_handling="reflect", **extra, **RESTLESS)


@pytest.mark.parametrize("convert", [
    lambda values: values.tolist(),
    lambda values: values.astype(np.float32).astype(np.float64)[::-1][::-1],
    lambda values: np.repeat(values, 2)[::2],  # a strided float64 view
])
def test_vectorised_results_in_other_containers(convert):
    both(lambda rows: convert(batch_tilted(rows)), [(-2, 2)] * 2, n_particles=5, max_iter=6,
         seed=4, vectorized=True)


def sometimes_nan(x):
    return math.nan if x[0] > 0.2 else shifted_sphere(x)


def nan_first(x):
    return math.nan if x[0] < 0.5 else tilted(x)


def signed_zero(x):
    # -0.0 over half the box, +0.0 elsewhere: the sign of the best value is decided by order
    return -0.0 if x[0] < 0 else 0.0


def batch_nan(rows):
    return [math.nan if r[0] > 0.2 else float((r - 0.3) @ (r - 0.3)) for r in rows]


@pytest.mark.parametrize("objective", [sometimes_nan, nan_first, signed_zero,
                                       lambda x: math.inf if x[1] > 0 else x[0]])
@pytest.mark.parametrize("topology", ["global", "ring"])
def test_nan_infinite_and_signed_zero_values(objective, topology):
    both(objective, [(-1, 1)] * 2, n_particles=6, max_iter=10, seed=31, topology=topology)


@pytest.mark.parametrize("topology", ["global", "vonneumann"])
def test_nan_values_in_a_vectorised_run(topology):
    both(batch_nan, [(-1, 1)] * 3, n_particles=6, max_iter=10, seed=31, vectorized=True,
         topology=topology)


@pytest.mark.parametrize("settings", [
    {"max_iter": 0},
    {"max_iter": 15, "patience": 2},
    {"max_iter": 15, "patience": 3, "tol": 0.05},
    {"max_iter": 15, "target": 0.5},
    {"max_iter": 15, "max_evals": 23},
    {"max_iter": 15, "callback": lambda i, best: i < 4},
    {"max_iter": 9, "record_history": False},
    {"max_iter": 15, "max_evals": 23, "vectorized": True},
])
def test_stop_criteria(settings):
    objective = batch_tilted if settings.get("vectorized") else tilted
    both(objective, [(-3, 3)] * 2, n_particles=5, seed=9, **settings)


GREY_BOUNDS = [(-2.0, 2.0), (0.0, 1.0), (1.0, 1.0), (-0.3, 0.9), (-1.0, 3.0)]


def interval_width_sum(greys):
    return sum((lo - 0.25) ** 2 + 0.5 * (hi - lo) for lo, hi in greys)


def center_spread_sum(greys):
    return sum((c - 0.25) ** 2 + s for c, s in greys)


@pytest.mark.parametrize("objective, representation", [
    (interval_width_sum, "interval"),
    (center_spread_sum, "center_spread"),
    (center_spread_sum, "center-spread"),
    ("grey_sphere", "interval"),
    ("grey_sphere", "center_spread"),
])
@pytest.mark.parametrize("max_spread", [None, 0.3, [0.0, 2.0, 0.5]])
@pytest.mark.parametrize("velocity, topology", [("inertia", "global"), ("fips", "ring"),
                                                ("constriction", "random")])
def test_grey_runs(objective, representation, max_spread, velocity, topology):
    if isinstance(max_spread, list):
        max_spread = max_spread + [0.7, math.inf]
    kwargs = dict(max_spread=max_spread, representation=representation, n_particles=5,
                  max_iter=8, seed=13, velocity=velocity, topology=topology, **RESTLESS)
    got = pso.minimize_grey(objective, GREY_BOUNDS, **kwargs)
    want = ref.minimize_grey(objective, GREY_BOUNDS, **kwargs)
    assert want.outside >= 20, "the projection hardly had anything to do"
    assert_same_doubles(got.convergence, want.convergence, "convergence")
    assert_same_doubles(got.best_centers, want.best_centers, "best_centers")
    assert_same_doubles(got.best_spreads, want.best_spreads, "best_spreads")
    assert_same_doubles([v for pair in got.best_position for v in pair],
                        [v for pair in want.best_position for v in pair], "best_position")
    assert same_double(got.best_value, want.best_value)
    assert (got.evaluations, got.stop_reason) == (want.evaluations, want.stop_reason)


@pytest.mark.parametrize("settings", [{"v_max": 0.1}, {"patience": 2}, {"max_evals": 12},
                                      {"target": 2.0}, {"record_history": False}])
def test_grey_stop_criteria_and_velocity_clamp(settings):
    kwargs = dict(n_particles=4, max_iter=10, seed=3, dim=2, **settings)
    got = pso.minimize_grey(center_spread_sum, (-1.0, 1.0), **kwargs,
                            representation="center_spread")
    want = ref.minimize_grey(center_spread_sum, (-1.0, 1.0), **kwargs,
                             representation="center_spread")
    assert_same_doubles(got.convergence, want.convergence, "convergence")
    assert_same_doubles(got.best_centers, want.best_centers, "best_centers")
    assert_same_doubles(got.best_spreads, want.best_spreads, "best_spreads")
    assert same_double(got.best_value, want.best_value)
    assert (got.evaluations, got.stop_reason) == (want.evaluations, want.stop_reason)


def test_model_generator_and_draws():
    # The shared parts of both models, on values worked out by hand or by their definition.
    rng = common.Rng(7)
    words = [rng.next_u32() for _ in range(130)]
    again = common.Rng(7)
    mixed = [again.next_u32() for _ in range(63)]
    low_high = again.next_u64()                 # word 63 and word 0 of the next buffer
    assert mixed == words[:63] and low_high == words[63] | (words[64] << 32)
    assert common.Rng(0).next_u64() != common.Rng(1).next_u64()
    # Constriction factor for phi = 4.1 and the closed-interval draw on a zero-width range.
    assert common.constriction_factor(4.1) == 0.7298437881283576
    assert rng.uniform_closed(2.5, 2.5) == 2.5
    assert [common.round_half_away(v) for v in (0.5, -0.5, 2.5, 0.49999999999999994)] == \
        [1.0, -1.0, 3.0, 0.0]


# --- callbacks in vectorised runs, warm starts, and the grey batch form -------------------------

@pytest.mark.parametrize("settings", [
    {"callback": lambda t, best: t < 3},
    {"callback": lambda t, best: None},  # only the boolean False stops
    {"callback": lambda t, best: True, "max_evals": 23},
    {"callback": lambda t, best: np.bool_(t < 5), "topology": "ring"},
])
def test_vectorised_runs_call_the_callback_where_the_per_particle_loop_does(settings):
    both(batch_tilted, [(-3, 3)] * 2, n_particles=5, max_iter=15, seed=9, vectorized=True,
         **settings)


def points_within(bounds, fractions):
    return [[lo + (hi - lo) * f for lo, hi in bounds] for f in fractions]


@pytest.mark.parametrize("space", SPACES)
@pytest.mark.parametrize("shape", ["one point", "two points", "whole swarm array"])
@pytest.mark.parametrize("vectorized", [False, True])
def test_warm_starts_replace_the_drawn_positions(space, shape, vectorized):
    extra, bounds = SPACES[space]
    types = extra.get("var_types") or ["binary" if extra.get("binary") else "real"] * len(bounds)
    bounds = [(0.0, 1.0) if t == "binary" else b for b, t in zip(bounds, types)]
    x0 = {"one point": points_within(bounds, [0.3])[0],
          "two points": points_within(bounds, [0.5, 0.8]),
          "whole swarm array": np.array(points_within(bounds, [0.1 * k for k in range(1, 7)]))}[shape]
    objective = batch_tilted if vectorized else tilted
    both(objective, bounds, n_particles=6, max_iter=5, seed=23, x0=x0, vectorized=vectorized,
         **extra)


def batch_center_spread_sum(pairs):
    return ((pairs[:, :, 0] - 0.25) ** 2 + pairs[:, :, 1]).sum(axis=1)


def batch_interval_width_sum(pairs):
    return ((pairs[:, :, 0] - 0.25) ** 2 + 0.5 * (pairs[:, :, 1] - pairs[:, :, 0])).sum(axis=1)


@pytest.mark.parametrize("objective, batch, representation, x0", [
    (center_spread_sum, batch_center_spread_sum, "center_spread", [(0.25, 0.0), (0.0, 0.5)]),
    (interval_width_sum, batch_interval_width_sum, "interval",
     [[(0.0, 0.5), (-0.5, 0.5)], [(0.25, 0.25), (0.5, 0.75)]]),
])
@pytest.mark.parametrize("settings", [
    {},
    {"callback": lambda t, best: t < 4},
    {"vectorized": True},
    {"vectorized": True, "callback": lambda t, best: t < 6, "topology": "ring"},
    {"warm": True},
    {"warm": True, "vectorized": True, "max_evals": 20},
])
def test_grey_callbacks_batches_and_warm_starts(objective, batch, representation, x0, settings):
    settings = dict(settings)
    if settings.pop("warm", False):
        settings["x0"] = x0
    chosen = batch if settings.get("vectorized") else objective
    kwargs = dict(n_particles=4, max_iter=10, seed=3, dim=2, max_spread=0.8,
                  representation=representation, **settings)
    got = pso.minimize_grey(chosen, (-1.0, 1.0), **kwargs)
    want = ref.minimize_grey(chosen, (-1.0, 1.0), **kwargs)
    assert_same_doubles(got.convergence, want.convergence, "convergence")
    assert_same_doubles(got.best_centers, want.best_centers, "best_centers")
    assert_same_doubles(got.best_spreads, want.best_spreads, "best_spreads")
    assert same_double(got.best_value, want.best_value)
    assert (got.evaluations, got.stop_reason) == (want.evaluations, want.stop_reason)
