"""
Trimming a front by hypervolume contributions
=============================================

A front of a few hundred members is more than a decision maker can read. To keep ``k`` of them,
drop the member whose loss costs the least hypervolume, one at a time:
:func:`corvalinth.hypervolume_contributions` gives every member's exclusive share (the volume
that only it dominates) in one call, O(n log n) for two and three objectives. On ZDT3, whose
front falls apart in five pieces, the kept members settle on the pieces by themselves; the members
nearest to evenly spaced values of the first objective, for comparison, crowd the ends of the
pieces wherever a value falls in a gap, and cover less hypervolume.
"""

import math

import matplotlib.pyplot as plt

import corvalinth as pso

REFERENCE = [1.1, 1.1]
KEEP = 12


def zdt3(x):
    g = 1 + 9 * sum(x[1:]) / (len(x) - 1)
    h = 1 - math.sqrt(x[0] / g) - (x[0] / g) * math.sin(10 * math.pi * x[0])
    return [x[0], g * h]


front = pso.minimize_multi(zdt3, bounds=[(0, 1)] * 10, n_particles=100, max_iter=200,
                           archive_size=300, seed=3, record_history=False)
points = front.objectives
print(f"front: {len(points)} members, hypervolume {pso.hypervolume(points, REFERENCE):.5f}")

kept = list(points)
while len(kept) > KEEP:
    shares = pso.hypervolume_contributions(kept, REFERENCE)
    del kept[shares.index(min(shares))]

# The member nearest to each of KEEP evenly spaced values of the first objective.
low, high = min(p[0] for p in points), max(p[0] for p in points)
targets = [low + i * (high - low) / (KEEP - 1) for i in range(KEEP)]
even = [min(points, key=lambda p: abs(p[0] - t)) for t in targets]
print(f"{KEEP} members by least contribution: hypervolume {pso.hypervolume(kept, REFERENCE):.5f}")
print(f"{KEEP} members at even steps of f1:    hypervolume {pso.hypervolume(even, REFERENCE):.5f}")

# %%
# Each kept member's own share, which the next removal would lose.

shares = pso.hypervolume_contributions(kept, REFERENCE)
for (f1, f2), share in sorted(zip(kept, shares)):
    print(f"f1 = {f1:.3f}  f2 = {f2:.3f}  contribution {share:.2e}")

fig, ax = plt.subplots(figsize=(6, 4))
ax.scatter(*zip(*points), s=6, color="0.75", label=f"front ({len(points)})")
ax.scatter(*zip(*even), s=30, marker="x", color="tab:orange", label="even steps of f1")
ax.scatter(*zip(*kept), s=30, facecolors="none", edgecolors="tab:blue",
           label="least contribution dropped")
ax.set_xlabel("f1")
ax.set_ylabel("f2")
ax.set_title(f"ZDT3: {KEEP} of {len(points)} members")
ax.legend()
fig.tight_layout()
