"""
Velocity rules and topologies compared
======================================

The same budget on 20-dimensional Rastrigin with each velocity rule and several topologies,
five seeds each. The table gives the median final value; the plot shows one seed's curves on
one axes, which :func:`corvalinth.viz.plot_convergence` draws from a mapping of label to
result.
"""

import statistics

import corvalinth as pso
from corvalinth import viz

settings = {
    "inertia, global": dict(velocity="inertia", topology="global"),
    "inertia, ring": dict(velocity="inertia", topology="ring"),
    "constriction, global": dict(velocity="constriction", topology="global"),
    "fips, ring": dict(velocity="fips", topology="ring"),
    "fips, vonneumann": dict(velocity="fips", topology="vonneumann"),
}


def run(seed, **chosen):
    return pso.minimize("rastrigin", bounds=(-5.12, 5.12), dim=20, n_particles=30, max_iter=600,
                        bounds_handling="wrap", seed=seed, **chosen)


print("setting                median of 5 seeds")
for label, chosen in settings.items():
    finals = [run(seed, **chosen).best_value for seed in range(5)]
    print(f"{label:22s} {statistics.median(finals):10.2f}")

# %%
# One seed, every setting on one plot. Local topologies converge more slowly at first but keep
# exploring; the global topology settles early.

curves = {label: run(0, **chosen) for label, chosen in settings.items()}
ax = viz.plot_convergence(curves, log=True, title="Rastrigin 20-D, seed 0", linewidth=1.5)
