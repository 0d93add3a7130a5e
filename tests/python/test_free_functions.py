"""hypervolume, benchmark_info and grey_benchmark_info."""

import inspect
import math

import numpy as np
import pytest

import corvalinth as pso

BENCHMARKS = {
    "sphere": (5.12, 0.0), "rastrigin": (5.12, 0.0), "rosenbrock": (2.048, 0.0),
    "ackley": (32.768, 0.0), "griewank": (600.0, 0.0), "schwefel": (500.0, 0.0),
    "bent_cigar": (100.0, 0.0), "discus": (100.0, 0.0), "elliptic": (100.0, 0.0),
    "zakharov": (10.0, 0.0), "levy": (10.0, 0.0), "expanded_schaffer": (100.0, 0.0),
}


@pytest.mark.parametrize(
    "front, reference, expected",
    [
        ([[1, 2], [2, 1]], [3, 3], 3.0),
        ([[1, 2, 3], [2, 1, 3], [3, 3, 1]], [4, 4, 4], 10.0),
        ([[1, 1], [1, 1]], [2, 2], 1.0),
        ([[1, 1], [1.5, 1.5]], [2, 2], 1.0),
        ([[1.5, 1.5], [1, 1]], [2, 2], 1.0),
        ([[1, 5], [3, 2]], [3.2, 5.3], 2.2 * 0.3 + 0.2 * 3.3 - 0.2 * 0.3),
        ([[1, 2], [2], [1, 1, 1], []], [3, 3], 2.0),  # other lengths are ignored
        ([[1, 3], [math.nan, 0]], [3, 3], -0.0),  # on the reference, or NaN: nothing
        ([[]], [], 1.0),
        (((0.5,),), (1,), 0.5),
        ([[-1e308, -1e308]], [1e308, 1e308], math.inf),
    ],
)
def test_values(front, reference, expected):
    value = pso.hypervolume(front, reference)
    assert type(value) is float
    assert value == pytest.approx(expected, rel=1e-12)
    assert math.copysign(1, value) == math.copysign(1, expected)


def test_empty_front_is_negative_zero():
    value = pso.hypervolume([], [1.0, 1.0])
    assert value == 0.0 and math.copysign(1.0, value) == -1.0


@pytest.mark.parametrize("dtype", [np.float64, np.float32, np.int64])
def test_numpy_arrays_are_accepted(dtype):
    front = np.array([[1, 2], [2, 1]], dtype=dtype)
    assert pso.hypervolume(front, np.array([3, 3], dtype=dtype)) == 3.0
    assert pso.hypervolume(list(front), [np.float32(3), np.int8(3)]) == 3.0
    assert pso.hypervolume(front=front[::-1], reference=np.array([3.0, 3.0])) == 3.0


@pytest.mark.parametrize(
    "front, reference, message",
    [
        ("ab", [1.0], "argument 'front': Can't extract `str` to `Vec`"),
        (["ab"], [1.0], "argument 'front': Can't extract `str` to `Vec`"),
        ([[1.0], "ab"], [1.0], "argument 'front': Can't extract `str` to `Vec`"),
        ([[1.0]], "a", "argument 'reference': Can't extract `str` to `Vec`"),
        ([[1.0, "a"]], [2.0, 2.0], "argument 'front': must be real number, not str"),
        ([1.0, 2.0], [3.0], "argument 'front': 'float' object cannot be converted to 'Sequence'"),
        ([[1.0]], None, "argument 'reference': 'NoneType' object cannot be converted to "
                        "'Sequence'"),
        (iter([[1.0]]), [2.0], "argument 'front': 'list_iterator' object cannot be converted to "
                               "'Sequence'"),
        ("ab", "cd", "argument 'front': Can't extract `str` to `Vec`"),
    ],
)
def test_hypervolume_conversion_errors(front, reference, message):
    with pytest.raises(TypeError) as raised:
        pso.hypervolume(front, reference)
    assert str(raised.value) == message
    assert isinstance(raised.value.__cause__, TypeError)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: pso.hypervolume([[1.0]]),
         "hypervolume() missing 1 required positional argument: 'reference'"),
        (lambda: pso.hypervolume(),
         "hypervolume() missing 2 required positional arguments: 'front' and 'reference'"),
        (lambda: pso.hypervolume([[1]], [2], [3]),
         "hypervolume() takes 2 positional arguments but 3 were given"),
        (lambda: pso.hypervolume([[1]], ref=[2]),
         "hypervolume() got an unexpected keyword argument 'ref'"),
        (lambda: pso.hypervolume([[1]], [2], front=[[1]]),
         "hypervolume() got multiple values for argument 'front'"),
        (lambda: pso.benchmark_info(),
         "benchmark_info() missing 1 required positional argument: 'name'"),
        (lambda: pso.grey_benchmark_info("a", "b"),
         "grey_benchmark_info() takes 1 positional arguments but 2 were given"),
        (lambda: pso.grey_benchmark_info(nam="a"),
         "grey_benchmark_info() got an unexpected keyword argument 'nam'"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


def test_benchmark_info_values():
    assert {name: pso.benchmark_info(name) for name in BENCHMARKS} == BENCHMARKS
    assert pso.benchmark_info(name="ackley") == (32.768, 0.0)
    assert pso.grey_benchmark_info("grey_sphere") == (5.12, 5.12, 0.0)
    assert pso.grey_benchmark_info(name="grey_sphere") == (5.12, 5.12, 0.0)
    assert all(type(v) is float for v in pso.benchmark_info("levy"))


@pytest.mark.parametrize(
    "function, name, message",
    [
        (pso.benchmark_info, "Ackley", "unknown native benchmark: 'Ackley'"),
        (pso.benchmark_info, "grey_sphere", "unknown native benchmark: 'grey_sphere'"),
        (pso.benchmark_info, "", "unknown native benchmark: ''"),
        (pso.benchmark_info, "sphere\0x", "unknown native benchmark: 'sphere\0x'"),
        (pso.benchmark_info, "sphère", "unknown native benchmark: 'sphère'"),
        (pso.grey_benchmark_info, "sphere", "unknown native grey benchmark: 'sphere'"),
        (pso.grey_benchmark_info, "grey_sphere ", "unknown native grey benchmark: 'grey_sphere '"),
    ],
)
def test_unknown_names_give_the_short_key_error(function, name, message):
    with pytest.raises(KeyError) as raised:
        function(name)
    assert raised.value.args == (message,)


@pytest.mark.parametrize("function", [pso.benchmark_info, pso.grey_benchmark_info])
@pytest.mark.parametrize("name", [3, None, b"sphere", ["sphere"]])
def test_names_must_be_str(function, name):
    with pytest.raises(TypeError) as raised:
        function(name)
    assert str(raised.value) == f"argument 'name': {raised.value.__cause__}"


def test_signatures_and_docstrings():
    assert str(inspect.signature(pso.hypervolume)) == "(front, reference)"
    assert str(inspect.signature(pso.benchmark_info)) == "(name)"
    assert str(inspect.signature(pso.grey_benchmark_info)) == "(name)"
    assert pso.hypervolume.__doc__.startswith(
        "Hypervolume of an arbitrary set of objective vectors (minimization).\n")
    assert pso.benchmark_info.__doc__.startswith("Metadata of a native benchmark: ")
    assert pso.grey_benchmark_info.__doc__.endswith(
        "Useful for building ``bounds``/``max_spread`` without hardcoding them.")
