"""
Runs spread with corvalinth.parallel
====================================

:func:`corvalinth.parallel.multistart` runs one optimisation per seed on an executor (threads by
default) and returns the results in the order of the seeds. Native benchmarks release the
interpreter lock, so their runs proceed side by side. :func:`corvalinth.parallel.batch` spreads
the evaluations of a single run instead; its values come back in row order, so a seeded run is
the serial vectorised run bit for bit. Here a thread pool stands in for a process pool or a Dask
cluster, which take the same calls (see the parallel guide).
"""

from concurrent.futures import ThreadPoolExecutor

import matplotlib.pyplot as plt

import corvalinth as pso
from corvalinth import parallel

BOUNDS = [(-32.768, 32.768)] * 20


def one_start(seed):
    return pso.minimize("ackley", BOUNDS, n_particles=40, max_iter=400, seed=seed)


runs = parallel.multistart(one_start, range(8))
assert [r.best_value for r in runs] == [one_start(seed).best_value for seed in range(8)]
best = min(runs, key=lambda r: r.best_value)
print("seed  best value  stop reason")
for seed, r in enumerate(runs):
    print(f"{seed:4d}  {r.best_value:10.4g}  {r.stop_reason}")
print(f"best start: seed {runs.index(best)}, {best.best_value:.4g}; same values as one by one")

# %%
# One run, its evaluations spread: ``batch`` turns a per-point objective into a vectorised one.


def styblinski_tang(x):
    return sum(v ** 4 - 16 * v ** 2 + 5 * v for v in x) / 2


with ThreadPoolExecutor(max_workers=2) as pool:
    spread = pso.minimize(parallel.batch(styblinski_tang, pool, chunksize=10), [(-5, 5)] * 4,
                          vectorized=True, n_particles=20, max_iter=100, seed=7)
serial = pso.minimize(lambda X: [styblinski_tang(row) for row in X.tolist()], [(-5, 5)] * 4,
                      vectorized=True, n_particles=20, max_iter=100, seed=7)
assert spread.convergence == serial.convergence and spread.best_position == serial.best_position
print(f"batch on 2 threads: {spread.best_value:.6f} at "
      f"{[round(v, 4) for v in spread.best_position]}, identical to the serial run")

# %%
# The convergence curves of the starts, read as NumPy arrays without a Python float per value.

fig, ax = plt.subplots(figsize=(6, 3.5))
for seed, r in enumerate(runs):
    ax.semilogy(r.convergence_array(), lw=1, label=f"seed {seed}")
ax.set_xlabel("iteration")
ax.set_ylabel("best value")
ax.set_title("Ackley 20-D: eight starts on threads")
ax.legend(ncol=2, fontsize=7)
fig.tight_layout()
