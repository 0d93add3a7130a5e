"""
A 0/1 knapsack
==============

Binary variables: pick items of the highest total value whose weight fits the knapsack. The
swarm moves in ``[0, 1]`` per item and the objective sees each coordinate rounded to 0 or 1.
The weight limit is a constraint; the answer is checked against dynamic programming.
"""

import matplotlib.pyplot as plt

import corvalinth as pso

values = [92, 57, 49, 68, 60, 43, 67, 84, 87, 72, 35, 78, 56, 41, 65, 39, 29, 70, 51, 62]
weights = [23, 31, 29, 44, 53, 38, 63, 85, 89, 82, 19, 47, 33, 27, 58, 21, 17, 61, 36, 49]
capacity = 300


def negative_value(bits):
    return -sum(v * b for v, b in zip(values, bits))


def overweight(bits):
    return sum(w * b for w, b in zip(weights, bits)) - capacity


def best_by_dynamic_programming():
    best = [0] * (capacity + 1)
    for value, weight in zip(values, weights):
        for room in range(capacity, weight - 1, -1):
            best[room] = max(best[room], best[room - weight] + value)
    return best[capacity]


runs = {seed: pso.minimize(negative_value, bounds=[(0, 1)] * len(values), binary=True,
                           n_particles=40, max_iter=300, constraints=[overweight],
                           velocity="constriction", topology="ring", seed=seed)
        for seed in range(5)}

optimum = best_by_dynamic_programming()
print(f"optimum by dynamic programming: {optimum}")
print("seed  value  weight  items")
for seed, r in runs.items():
    chosen = [k for k, bit in enumerate(r.best_position) if bit == 1]
    weight = sum(weights[k] for k in chosen)
    print(f"{seed:4d}  {-r.best_value:5.0f}  {weight:6d}  {chosen}")

# %%
# The items of the best run, by value per unit of weight: the swarm takes the dense ones.

best = min(runs.values(), key=lambda r: r.best_value)
density = [v / w for v, w in zip(values, weights)]
order = sorted(range(len(values)), key=lambda k: -density[k])
fig, ax = plt.subplots(figsize=(7, 3.5))
ax.bar(range(len(order)), [density[k] for k in order],
       color=["tab:green" if best.best_position[k] == 1 else "tab:gray" for k in order])
ax.set_xticks(range(len(order)), [str(k) for k in order])
ax.set_xlabel("item (sorted by value per weight)")
ax.set_ylabel("value per unit of weight")
ax.set_title(f"Chosen items in green: value {-best.best_value:.0f} of {optimum}")
fig.tight_layout()
