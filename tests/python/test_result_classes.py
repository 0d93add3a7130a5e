"""What PsoResult, GreyResult and ParetoFront share: read-only attributes, no construction,
no subclass, no weak reference, no extra attribute."""

import weakref

import pytest

import corvalinth as pso
from helpers import sphere


def two_targets(x):
    return [sum(v * v for v in x), sum((v - 2) ** 2 for v in x)]


def midpoint_sphere(greys):
    return sum(((lo + hi) / 2) ** 2 + (hi - lo) / 2 for lo, hi in greys)


SMALL = {"n_particles": 6, "max_iter": 4, "seed": 6}
# Each class, a run that returns one, and its attributes.
RESULT_CLASSES = {
    "PsoResult": (lambda: pso.minimize(sphere, [(-5, 5)] * 2, **SMALL), [
        "best_position", "convergence", "history", "evaluations", "stop_reason", "best_value"]),
    "GreyResult": (lambda: pso.minimize_grey(midpoint_sphere, [(-2, 3), (1, 4)], **SMALL), [
        "best_position", "best_centers", "best_spreads", "best_value", "convergence",
        "evaluations", "stop_reason"]),
    "ParetoFront": (lambda: pso.minimize_multi(two_targets, [(-1, 3)] * 2, **SMALL), [
        "positions", "objectives", "swarm_history", "front_history"]),
}
ATTRIBUTES = [(name, attribute) for name, (_, attributes) in RESULT_CLASSES.items()
              for attribute in attributes]


@pytest.fixture(scope="module", params=RESULT_CLASSES)
def named_result(request):
    run, _ = RESULT_CLASSES[request.param]
    return request.param, run()


@pytest.mark.parametrize("class_name, attribute", ATTRIBUTES)
def test_attributes_are_read_only(class_name, attribute):
    run, _ = RESULT_CLASSES[class_name]
    result = run()
    with pytest.raises(AttributeError):
        setattr(result, attribute, 0)
    with pytest.raises(AttributeError):
        delattr(result, attribute)
    getattr(result, attribute)  # still there


@pytest.mark.parametrize("arguments", [(), (1,)])
def test_class_cannot_be_built(named_result, arguments):
    name, _ = named_result
    with pytest.raises(TypeError, match=f"^No constructor defined for {name}$"):
        getattr(pso, name)(*arguments)


def test_class_cannot_be_extended_weakly_referenced_or_given_attributes(named_result):
    name, result = named_result
    assert type(result) is getattr(pso, name)
    with pytest.raises(TypeError):
        type("Sub", (type(result),), {})
    with pytest.raises(TypeError):
        weakref.ref(result)
    with pytest.raises(AttributeError):
        result.extra = 1
