"""hypervolume on NumPy arrays and large fronts, and hypervolume_contributions, against the
literal exclusive-volume recursion of `reference_mopso`."""

import inspect
import math
import random

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import corvalinth as pso
import reference_mopso as ref

FRONT = [[0.1, 0.9, 0.5], [0.4, 0.4, 0.4], [0.9, 0.1, 0.2], [0.4, 0.4, 0.4], [0.5, 0.5, 0.5]]


def model_front(rng, m, n):
    """Points near the unit sphere with repeats, ties, dominated points, NaN and misfits."""
    front = []
    for _ in range(n):
        p = [rng.random() + 1e-3 for _ in range(m)]
        norm = math.sqrt(sum(x * x for x in p))
        p = [x / norm for x in p]
        kind = rng.randrange(8)
        if kind == 0 and front:
            p = list(rng.choice(front))
        elif kind == 1 and front:
            k = rng.randrange(m)
            p[k] = rng.choice([q for q in front if len(q) == m] or [p])[k]
        elif kind == 2:
            p = [x + 0.1 for x in p]
        elif kind == 3:
            p[rng.randrange(m)] = rng.choice([math.nan, 1.1])
        elif kind == 4:
            p = p[:-1]
        front.append(p)
    return front


@pytest.mark.parametrize("layout", [
    lambda a: a,
    np.asfortranarray,
    lambda a: np.ascontiguousarray(a[::-1])[::-1],  # negative row stride
    lambda a: np.repeat(a, 2, axis=1)[:, ::2],        # strided columns
    lambda a: np.repeat(a, 3, axis=0)[1::3],          # strided rows
    lambda a: memoryview(np.ascontiguousarray(a)),
    lambda a: a.astype(">f8"),                        # another byte order: read as a sequence
])
def test_every_array_layout_gives_the_value_of_the_nested_lists(layout):
    front = np.array(FRONT)
    expected = pso.hypervolume(FRONT, [1, 1, 1])
    assert pso.hypervolume(layout(front), [1, 1, 1]) == expected
    assert pso.hypervolume_contributions(layout(front), [1, 1, 1]) == \
        pso.hypervolume_contributions(FRONT, [1, 1, 1])


@pytest.mark.parametrize("front, reference, expected", [
    (np.empty((0, 2)), [1, 1], -0.0),
    (np.empty((3, 0)), [], 1.0),
    (np.array([[0.5, np.nan], [0.5, 0.5]]), [1, 1], 0.25),
    (np.array([[0.5, 0.5]]), [1, 1, 1], -0.0),                 # the wrong length is ignored
])
def test_array_edge_cases(front, reference, expected):
    value = pso.hypervolume(front, reference)
    assert value == expected and math.copysign(1, value) == math.copysign(1, expected)


@pytest.mark.parametrize("reference", [[math.inf, 3.0], [3.0, math.inf, 4.0], [math.inf] * 5])
def test_an_infinite_reference_gives_inf_once_a_point_counts(reference):
    m = len(reference)
    front = [[1.0] * m, [2.0] * (m - 1) + [0.5], [9.0] * m]
    assert pso.hypervolume(front, reference) == math.inf
    assert pso.hypervolume(front, [-math.inf] + reference[1:]) == -0.0  # nothing counts


FAR = 2.0**20  # far below every finite value of the fronts below, so it acts as -inf there


@given(st.integers(1, 5).flatmap(lambda m: st.lists(
    st.lists(st.sampled_from([-math.inf, 0.1, 0.3, 0.5, 0.7, 0.9]), min_size=m, max_size=m),
    min_size=1, max_size=5)))
def test_a_value_at_minus_infinity_is_the_limit_of_ever_lower_values(front):
    reference = [1.0] * len(front[0])
    far = [[-FAR if v == -math.inf else v for v in point] for point in front]
    reaches = [-math.inf in point for point in front]
    assert pso.hypervolume(front, reference) == (
        math.inf if any(reaches) else pso.hypervolume(far, reference))
    # Finite fronts are compared with the model above; the model's own difference of two volumes
    # near FAR ** m would lose the digits compared here.
    parts = pso.hypervolume_contributions(front, reference)
    for part, lost, reaches_down in zip(parts, pso.hypervolume_contributions(far, reference),
                                        reaches):
        if reaches_down:  # an open corner is at least 0.1 ** (m - 1) wide: FAR times that
            assert part == (math.inf if lost > 1.0 else 0.0)
        else:
            assert part == pytest.approx(lost, rel=0, abs=1e-9)


@pytest.mark.parametrize("m", [1, 2, 3, 4, 5, 6])
def test_agrees_with_the_literal_recursion(m):
    rng = random.Random(m)
    for _ in range(5):
        front = model_front(rng, m, 12 if m >= 5 else 30)
        reference = [1.1] * m
        model = ref.hypervolume(front, reference)
        assert pso.hypervolume(front, reference) == pytest.approx(model, rel=1e-12, abs=0)


@pytest.mark.parametrize("m", [1, 2, 3, 4])
def test_contributions_are_the_volume_lost_without_each_point(m):
    rng = random.Random(10 + m)
    front = model_front(rng, m, 14)
    reference = [1.1] * m
    whole = ref.hypervolume(front, reference)
    parts = pso.hypervolume_contributions(front, reference)
    assert len(parts) == len(front) and all(type(v) is float for v in parts)
    for i, part in enumerate(parts):
        lost = whole - ref.hypervolume(front[:i] + front[i + 1:], reference)
        assert part == pytest.approx(lost, rel=0, abs=1e-12 * whole)


@pytest.mark.parametrize("m", [2, 3])
def test_contributions_on_large_fronts_match_the_hypervolume_without_the_point(m):
    rng = np.random.default_rng(7)
    front = np.round(rng.random((3000, m)), 3)   # rounded: ties and repeats
    front /= np.linalg.norm(front, axis=1, keepdims=True) + 1e-12
    reference = [1.1] * m
    whole = pso.hypervolume(front, reference)
    parts = pso.hypervolume_contributions(front, reference)
    for i in [*rng.choice(len(front), 20, replace=False), int(np.argmax(parts))]:
        lost = whole - pso.hypervolume(np.delete(front, i, axis=0), reference)
        assert parts[i] == pytest.approx(lost, rel=0, abs=1e-12 * whole)


def test_contributions_in_two_objectives_sum_to_at_most_the_hypervolume():
    rng = np.random.default_rng(3)
    front = rng.random((2000, 2))
    front /= np.linalg.norm(front, axis=1, keepdims=True)
    parts = pso.hypervolume_contributions(front, [1.1, 1.1])
    assert 0 < sum(parts) <= pso.hypervolume(front, [1.1, 1.1])
    assert min(parts) >= 0


def test_contributions_of_points_that_do_not_count_are_zero():
    front = [[1, 1], [1, 1], [2, 2], [0.5], [math.nan, 0], [3, 0], [0, 2]]
    assert pso.hypervolume_contributions(front, [3, 3]) == [0, 0, 0, 0, 0, 0, 1.0]
    assert pso.hypervolume_contributions([], [1, 1]) == []
    assert pso.hypervolume_contributions([[0.25], [0.5]], [1]) == [0.25, 0.0]


@pytest.mark.parametrize("m, n", [(2, 1_000_000), (3, 100_000)])
def test_large_fronts(m, n):
    rng = np.random.default_rng(m)
    front = rng.random((n, m))
    front /= np.linalg.norm(front, axis=1, keepdims=True)
    volume = pso.hypervolume(front, [1.1] * m)
    unit_ball_octant = math.pi / 4 if m == 2 else math.pi / 6
    assert 1.1**m - unit_ball_octant - 1e-2 < volume < 1.1**m - unit_ball_octant


def test_contributions_signature_docstring_and_errors():
    assert str(inspect.signature(pso.hypervolume_contributions)) == "(front, reference)"
    assert pso.hypervolume_contributions.__doc__.startswith(
        "Exclusive hypervolume contribution of every point of a front (minimization).\n")
    with pytest.raises(TypeError, match=r"^argument 'front': Can't extract `str` to `Vec`$"):
        pso.hypervolume_contributions([[1.0], "ab"], [2.0])
    with pytest.raises(TypeError, match=r"^hypervolume_contributions\(\) missing 1 required "
                                        r"positional argument: 'reference'$"):
        pso.hypervolume_contributions([[1.0]])
