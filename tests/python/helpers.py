"""Objectives and probes shared by the test modules."""


def sphere(x):
    return sum(v * v for v in x)

