"""
Watching the swarm
==================

:func:`corvalinth.viz.animate_swarm` plays ``result.history`` back, one frame per iteration.
On the two-dimensional Himmelblau function, which has four equal minima, the swarm first
spreads over the box and then gathers at one of them.
"""

import matplotlib.pyplot as plt

import corvalinth as pso
from corvalinth import viz


def himmelblau(x):
    a, b = x
    return (a * a + b - 11) ** 2 + (a + b * b - 7) ** 2


bounds = [(-5, 5), (-5, 5)]
result = pso.minimize(himmelblau, bounds=bounds, n_particles=25, max_iter=25, seed=2)
print(f"best value {result.best_value:.3g} at ({result.best_position[0]:.4f}, "
      f"{result.best_position[1]:.4f})")

fig, ax = plt.subplots(figsize=(4.5, 4.5))
anim = viz.animate_swarm(result, ax=ax, bounds=bounds, interval=120, color="tab:blue")
