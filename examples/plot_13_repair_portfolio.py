"""
Repair instead of penalty: weights that sum to one
==================================================

An equality constraint such as "the weights sum to one" is hard on a penalty: the feasible set
is a thin surface. A ``repair`` function maps every candidate onto it before evaluation; the
objective, the constraints and the reported best position all see the repaired point. Here a
minimum-variance portfolio of five assets, compared with the penalty form.
"""

import matplotlib.pyplot as plt
import numpy as np

import corvalinth as pso

rng = np.random.default_rng(4)
factors = rng.normal(size=(5, 5))
covariance = (factors @ factors.T / 5 + np.diag([0.05, 0.1, 0.02, 0.08, 0.04])).tolist()


def variance(w):
    return sum(w[i] * covariance[i][j] * w[j] for i in range(5) for j in range(5))


def onto_simplex(w):
    total = sum(w)
    return [v / total for v in w] if total > 0 else [0.2] * 5


bounds = [(1e-6, 1.0)] * 5
repaired = pso.minimize(variance, bounds=bounds, repair=onto_simplex, max_iter=300, seed=6)
penalised = pso.minimize(variance, bounds=bounds, max_iter=300, seed=6, penalty=1e3,
                         equality_constraints=[lambda w: sum(w) - 1])

print("method     variance     sum of weights")
for label, r in [("repair", repaired), ("penalty", penalised)]:
    print(f"{label:9s}  {variance(r.best_position):.6f}     {sum(r.best_position):.6f}")

# %%
# The weights found.

fig, ax = plt.subplots(figsize=(6, 3))
positions = np.arange(5)
ax.bar(positions - 0.2, repaired.best_position, width=0.4, label="repair")
ax.bar(positions + 0.2, penalised.best_position, width=0.4, label="penalty 1e3")
ax.set_xticks(positions, [f"asset {k}" for k in range(5)])
ax.set_ylabel("weight")
ax.set_title("Minimum-variance weights")
ax.legend()
fig.tight_layout()
