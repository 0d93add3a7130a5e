"""
Driving a run yourself: ask, tell and checkpoints
=================================================

:class:`corvalinth.Optimizer` hands the evaluations to you: ``ask()`` gives the next point,
``tell()`` takes its value back. Use it when the objective is not a Python function the library
can call: a measurement, a batch job, a service. Here a small function stands in for it.

The optimizer pickles at any moment, so a long run can be saved to a file now and then and
resumed by another process after a crash or a restart. The resumed run follows exactly the
trajectory the uninterrupted run would have followed, bit for bit, and both equal what
:func:`~corvalinth.minimize` returns for the same arguments.
"""

import math
import os
import pickle
import shutil
import tempfile

import corvalinth as pso
from corvalinth import viz

BOUNDS = [(-5.12, 5.12)] * 4
SETTINGS = {"n_particles": 20, "max_iter": 150, "seed": 11}


def measure(x):
    """Stands for an evaluation outside Python's reach (Rastrigin, as it happens)."""
    return sum(v * v - 10 * math.cos(2 * math.pi * v) + 10 for v in x)


uninterrupted = pso.Optimizer(BOUNDS, **SETTINGS)
while not uninterrupted.done:
    x = uninterrupted.ask()
    uninterrupted.tell(measure(x))
print(f"uninterrupted: {uninterrupted.result().best_value:.6g} after "
      f"{uninterrupted.evaluations} evaluations, stopped by {uninterrupted.stop_reason}")

# %%
# The same run with a checkpoint every 500 evaluations. After the 1500th evaluation the
# process "dies": the optimizer is dropped, and a new one is loaded from the last file.
# Writing to a temporary name and renaming it keeps the previous checkpoint whole if the
# process dies while writing.

directory = tempfile.mkdtemp()
checkpoint = os.path.join(directory, "run.pickle")

optimizer = pso.Optimizer(BOUNDS, **SETTINGS)
while optimizer.evaluations < 1500:
    optimizer.tell(measure(optimizer.ask()))
    if optimizer.evaluations % 500 == 0:
        with open(checkpoint + ".tmp", "wb") as file:
            pickle.dump(optimizer, file)
        os.replace(checkpoint + ".tmp", checkpoint)
del optimizer  # the crash

with open(checkpoint, "rb") as file:
    resumed = pickle.load(file)
shutil.rmtree(directory)
print(f"resumed at iteration {resumed.iteration}, {resumed.evaluations} evaluations")
while not resumed.done:
    resumed.tell(measure(resumed.ask()))

a, b = uninterrupted.result(), resumed.result()
assert a.convergence == b.convergence and a.best_position == b.best_position
direct = pso.minimize(measure, BOUNDS, **SETTINGS)
assert direct.convergence == a.convergence and direct.best_value == a.best_value
print(f"resumed:       {b.best_value:.6g}, the same run bit for bit, and the same as minimize")

# %%
# ``batch=True`` asks for the whole swarm at once, as an ``(n_particles, d)`` array, for an
# evaluator that takes many points per call (a pool of workers, a vectorised model). The
# result is then that of ``minimize(..., vectorized=True)``.

batch = pso.Optimizer(BOUNDS, batch=True, **SETTINGS)
while not batch.done:
    swarm = batch.ask()
    batch.tell([measure(row) for row in swarm.tolist()])
print(f"batch:         {batch.result().best_value:.6g} after {batch.evaluations} evaluations")

ax = viz.plot_convergence({"uninterrupted": a, "resumed from a checkpoint": b,
                           "batch": batch.result()}, log=True)
ax.lines[1].set_linestyle("--")
