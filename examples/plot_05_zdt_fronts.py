"""
ZDT fronts and the hypervolume
==============================

Three classic two-objective problems with known Pareto fronts. :func:`corvalinth.minimize_multi`
returns a :class:`~corvalinth.ParetoFront`; its hypervolume under a fixed reference point
measures how close and how well spread the front is. The reference must be the same for every
front that is compared (here (1.1, 1.1), a little beyond the worst point of every true front),
and it must exceed every front member in every objective.
"""

import math

import matplotlib.pyplot as plt

import corvalinth as pso
from corvalinth import viz

DIM = 30


def zdt1(x):
    g = 1 + 9 * sum(x[1:]) / (len(x) - 1)
    return [x[0], g * (1 - math.sqrt(x[0] / g))]


def zdt2(x):
    g = 1 + 9 * sum(x[1:]) / (len(x) - 1)
    return [x[0], g * (1 - (x[0] / g) ** 2)]


def zdt3(x):
    g = 1 + 9 * sum(x[1:]) / (len(x) - 1)
    h = 1 - math.sqrt(x[0] / g) - (x[0] / g) * math.sin(10 * math.pi * x[0])
    return [x[0], g * h]


def true_front(problem, points=400):
    f1 = [k / (points - 1) for k in range(points)]
    f2 = [problem([v] + [0.0] * (DIM - 1))[1] for v in f1]
    vectors = list(zip(f1, f2))
    # ZDT3's curve is partly dominated; keep its non-dominated pieces only.
    return [p for p in vectors if not any(q[0] <= p[0] and q[1] < p[1] for q in vectors)]


reference = [1.1, 1.1]
problems = {"ZDT1": zdt1, "ZDT2": zdt2, "ZDT3": zdt3}
fig, axes = plt.subplots(1, 3, figsize=(12, 3.8))
print("problem  members  hypervolume  of the true front  ratio")
for ax, (name, problem) in zip(axes, problems.items()):
    front = pso.minimize_multi(problem, bounds=[(0, 1)] * DIM, n_particles=100, max_iter=150,
                               seed=1, record_history=False)
    best = true_front(problem)
    volume = front.hypervolume(reference)
    ideal = pso.hypervolume(best, reference)
    print(f"{name:7s}  {len(front.objectives):7d}  {volume:11.4f}  {ideal:17.4f}  "
          f"{volume / ideal:5.1%}")
    viz.plot_front(front, ax=ax, s=14, label="swarm", title=name)
    viz.plot_front(best, ax=ax, s=1, color="black", label="true front")
fig.tight_layout()
