"""
Grey numbers: choosing tolerances
=================================

A grey number is an interval ``[lower, upper]`` whose exact value is not known.
:func:`corvalinth.minimize_grey` searches for one interval per variable: here the tolerance
bands of three machined parts. Wide bands are cheaper to make, but the assembly only works when
the worst case of the stacked parts stays within a limit. The objective whitenises the
interval problem into one number of our choosing: the manufacturing cost, a price for moving a
part's centre away from its nominal length, and a penalty for a worst case outside the limit.
"""

import matplotlib.pyplot as plt

import corvalinth as pso

NOMINAL = [20.0, 35.0, 15.0]       # nominal lengths of the three parts, mm
LIMIT = 0.30                       # the stack may deviate by at most this much, mm
PRICE = [0.8, 1.5, 0.5]            # cost factor of a tight tolerance, per part


def cost(intervals):
    widths = [hi - lo for lo, hi in intervals]
    centres = [(lo + hi) / 2 for lo, hi in intervals]
    making = sum(p / (w + 0.01) for p, w in zip(PRICE, widths))
    moved = sum((c - n) ** 2 for c, n in zip(centres, NOMINAL))
    offset = sum(c - n for c, n in zip(centres, NOMINAL))
    worst = abs(offset) + sum(widths) / 2
    return making + 100 * moved + 1e6 * max(0.0, worst - LIMIT) ** 2


bounds = [(n - 1.0, n + 1.0) for n in NOMINAL]
result = pso.minimize_grey(cost, bounds=bounds, max_spread=0.5, n_particles=40, max_iter=300,
                           seed=3)

print("part  interval (mm)            centre    spread")
for k, ((lo, hi), c, s) in enumerate(zip(result.best_position, result.best_centers,
                                         result.best_spreads)):
    print(f"{k:4d}  [{lo:8.4f}, {hi:8.4f}]  {c:8.4f}  {s:7.4f}")
print(f"cost {result.best_value:.3f}; stack worst case "
      f"{sum(result.best_spreads):.4f} mm of {LIMIT} allowed")

# %%
# The dearer a tight tolerance is for a part, the wider the band it gets.

fig, ax = plt.subplots(figsize=(6, 2.8))
for k, (lo, hi) in enumerate(result.best_position):
    ax.plot([lo - NOMINAL[k], hi - NOMINAL[k]], [k, k], linewidth=8, solid_capstyle="butt")
ax.axvline(0, color="black", linewidth=0.8)
ax.set_yticks(range(3), [f"part {k} (price {p})" for k, p in enumerate(PRICE)])
ax.set_xlabel("deviation from nominal (mm)")
ax.set_title("Tolerance bands found")
fig.tight_layout()
