"""Objectives and probes shared by the test modules."""

import itertools
import pickle

import numpy as np


def sphere(x):
    return sum(v * v for v in x)



class Driven:
    """An Optimizer driven one step at a time, a step being an ask or the tell that answers it.

    Each tell gives `objective` of the asked point (of the asked rows in the batch form) and, when
    constraint functions are given, their values there: one per function for a point, an (n, k)
    array for rows. The asynchronous form's (ticket, point) is told by its ticket.
    """

    def __init__(self, optimizer, objective, constraints=(), equality_constraints=()):
        self.optimizer, self.objective, self.pending = optimizer, objective, None
        self.constraints, self.equality_constraints = constraints, equality_constraints

    def drive(self, steps=None, pickle_after=()):
        """Makes `steps` steps (all: to the end of the run), pickling and restoring the optimizer
        after each step counted in `pickle_after`; a restored optimizer asked again between an
        ask and its tell must ask the same (the asynchronous form hands out a new point instead,
        so it is not asked again). Returns self."""
        for step in itertools.count(1) if steps is None else range(1, steps + 1):
            if self.optimizer.done:
                break
            if self.pending is None:
                self.pending = self.optimizer.ask()
            else:
                self.tell(self.pending)
                self.pending = None
            if step in pickle_after:
                self.optimizer = pickle.loads(pickle.dumps(self.optimizer))
                if self.pending is not None and not isinstance(self.pending, tuple):
                    again = self.optimizer.ask()
                    assert np.array_equal(np.asarray(again), np.asarray(self.pending))
        return self

    def tell(self, asked):
        if isinstance(asked, tuple):
            self.optimizer.tell(asked[0], self.objective(asked[1]))
            return

        def values(functions):
            if not functions:
                return None
            if np.ndim(asked) == 2:
                return np.column_stack([f(asked) for f in functions])
            return [f(asked) for f in functions]

        self.optimizer.tell(self.objective(asked), constraints=values(self.constraints),
                            equality_constraints=values(self.equality_constraints))


def drive_randomly(optimizer, objective, rng, most_out, pickle_chance=0.0):
    """Drives an asynchronous optimizer with `objective`: asks while fewer than `most_out` points
    are out and a coin says so, otherwise tells one of the points out, chosen at random; pickles
    and resumes with `pickle_chance` after each step (a draw made whatever the chance, so the same
    `rng` gives the same asks and tells). Returns the optimizer."""
    out = dict(optimizer.out)
    while not optimizer.done:
        if rng.random() < pickle_chance:
            optimizer = pickle.loads(pickle.dumps(optimizer))
            assert {ticket for ticket, _ in optimizer.out} == set(out)
        asked = None
        if len(out) < most_out and (not out or rng.random() < 0.5):
            asked = optimizer.ask()
        if asked is not None:
            out[asked[0]] = asked[1]
            continue
        ticket = rng.choice(sorted(out))
        optimizer.tell(ticket, objective(out.pop(ticket)))
    return optimizer
