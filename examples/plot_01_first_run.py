"""
A first run
===========

Minimise the 10-dimensional Rastrigin function, a native benchmark, and look at what the result
holds: the best value and position, the number of evaluations, why the run stopped and the
convergence curve.
"""

import corvalinth as pso
from corvalinth import viz

bound, optimum = pso.benchmark_info("rastrigin")
result = pso.minimize("rastrigin", bounds=(-bound, bound), dim=10, n_particles=40, max_iter=500,
                      bounds_handling="wrap", seed=42)

print(f"best value   {result.best_value:.6g} (the optimum is {optimum})")
print("best point   " + " ".join(f"{x:+.3f}" for x in result.best_position))
print(f"evaluations  {result.evaluations} (40 particles x (500 iterations + the first swarm))")
print(f"stop reason  {result.stop_reason}")

# %%
# The convergence curve holds the best value after each iteration. It spans several decades,
# so the y axis turns logarithmic by itself.

ax = viz.plot_convergence(result, title="Rastrigin, 10 dimensions")
