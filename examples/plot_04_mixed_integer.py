"""
Mixed-integer variables
=======================

``var_types`` gives each dimension a type: ``"real"``, ``"integer"`` or ``"binary"``. Here a
small production plan: how many machines of two kinds to run (integers), whether to open a
second shift (binary) and the fraction of overtime (real), with a cost to minimise and a demand
to meet. The swarm searches a real box; the objective sees integer and binary coordinates
rounded (halves away from zero) and clamped into their bounds.
"""

import matplotlib.pyplot as plt

import corvalinth as pso

CAPACITY = (14.0, 23.0)        # units per machine per shift
MACHINE_COST = (90.0, 140.0)   # per machine per shift
SHIFT_COST = 160.0
DEMAND = 410.0


def output(x):
    a, b, shift, overtime = x
    shifts = 1 + shift
    return (a * CAPACITY[0] + b * CAPACITY[1]) * shifts * (1 + 0.5 * overtime)


def cost(x):
    a, b, shift, overtime = x
    shifts = 1 + shift
    machines = (a * MACHINE_COST[0] + b * MACHINE_COST[1]) * shifts
    return machines * (1 + 0.8 * overtime) + SHIFT_COST * shift


result = pso.minimize(cost, bounds=[(0, 12), (0, 8), (0, 1), (0.0, 1.0)],
                      var_types=["integer", "integer", "binary", "real"],
                      constraints=[lambda x: DEMAND - output(x)], n_particles=40, max_iter=400,
                      seed=5)

a, b, shift, overtime = result.best_position
print(f"machines of kind A: {a:.0f}, of kind B: {b:.0f}, second shift: {shift == 1}, "
      f"overtime: {overtime:.3f}")
print(f"cost {result.best_value:.2f}, output {output(result.best_position):.1f} "
      f"for a demand of {DEMAND:.0f}")

# %%
# The history holds the raw (unrounded) search positions: the first two coordinates move
# continuously while the objective only ever sees whole numbers.

history = result.history
fig, ax = plt.subplots(figsize=(6, 4))
for particle in range(0, 40, 4):
    ax.plot([swarm[particle][0] for swarm in history], alpha=0.6)
ax.set_xlabel("iteration")
ax.set_ylabel("raw position of x[0] (machines of kind A)")
ax.set_title("Ten particles' search coordinate; the objective sees it rounded")
fig.tight_layout()
