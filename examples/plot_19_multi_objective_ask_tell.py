"""
Several objectives measured outside Python: MultiOptimizer
==========================================================

:class:`corvalinth.MultiOptimizer` is :func:`~corvalinth.minimize_multi` with the evaluations
left to you: ``ask()`` hands out the next point (or, with ``batch=True``, the whole swarm),
``tell()`` takes the objective vector(s) back. Here the "measurements" are ZDT1, computed a whole
swarm at a time as a lab or a cluster would return them.

The optimizer pickles between any two calls, archive and turbulence included: the run below is
interrupted halfway, restored from its checkpoint, and still ends with exactly the front that
``minimize_multi`` finds for the same arguments.
"""

import pickle

import matplotlib.pyplot as plt
import numpy as np

import corvalinth as pso

BOUNDS = [(0.0, 1.0)] * 8
SETTINGS = {"n_particles": 40, "max_iter": 60, "seed": 5, "preset": "robust"}


def measure(swarm):
    """ZDT1 for each row: the values a batch of experiments would report."""
    g = 1.0 + 9.0 * swarm[:, 1:].mean(axis=1)
    return np.column_stack([swarm[:, 0], g * (1.0 - np.sqrt(swarm[:, 0] / g))])


optimizer = pso.MultiOptimizer(BOUNDS, batch=True, **SETTINGS)
while optimizer.iteration < 30:
    optimizer.tell(measure(optimizer.ask()))
checkpoint = pickle.dumps(optimizer)  # saved to a file in a real run
del optimizer  # the interruption

optimizer = pickle.loads(checkpoint)
print(f"resumed at iteration {optimizer.iteration}, {optimizer.evaluations} evaluations")
while not optimizer.done:
    optimizer.tell(measure(optimizer.ask()))
front = optimizer.result()

direct = pso.minimize_multi(measure, BOUNDS, vectorized=True, **SETTINGS)
assert front.objectives == direct.objectives and front.positions == direct.positions
print(f"{len(front.objectives)} members, hypervolume {front.hypervolume([1.1, 1.1]):.5f}, "
      f"the same front as minimize_multi")

# %%
# The front against the true one, f2 = 1 - sqrt(f1).

f1 = np.linspace(0.0, 1.0, 200)
fig, ax = plt.subplots(figsize=(6, 4))
ax.plot(f1, 1.0 - np.sqrt(f1), color="0.6", label="true front")
ax.scatter(*np.array(front.objectives).T, s=12, color="tab:blue", label="MultiOptimizer")
ax.set_xlabel("f1")
ax.set_ylabel("f2")
ax.legend()
fig.tight_layout()
