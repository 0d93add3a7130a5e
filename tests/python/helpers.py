"""Objectives and probes shared by the test modules."""

import corvalinth as pso


def sphere(x):
    return sum(v * v for v in x)


def panic_type():
    """The class of internal errors, found from an error the core raises."""
    try:
        pso.minimize("sphere", bounds=[(1, 0)])
    except BaseException as error:  # noqa: B036 - the class derives from BaseException
        return type(error)
    raise AssertionError("an inverted bound must fail")
