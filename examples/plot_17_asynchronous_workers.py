"""
Keeping every worker busy: asynchronous runs
============================================

When evaluations take unequal times (simulations, trainings, jobs on a cluster), the batch form
waits at the end of every iteration for the slowest evaluation while the other workers idle.
``Optimizer(..., asynchronous=True)`` hands out points as workers free up, and each particle
moves as soon as its own value is back. :func:`corvalinth.parallel.run` drives either form on any
executor. Here the evaluations sleep for a log-normal time (median 5 ms) on four threads.
"""

import math
import random
import struct
import time
from concurrent.futures import ThreadPoolExecutor

import matplotlib.pyplot as plt

import corvalinth as pso
from corvalinth import parallel

BOUNDS = [(-5.12, 5.12)] * 4
SETTINGS = {"n_particles": 16, "max_iter": 19, "seed": 3, "record_history": False}


def slow_rastrigin(x):
    """Rastrigin, after a delay drawn from the point itself (median 5 ms, heavy tail)."""
    time.sleep(random.Random(struct.pack("<4d", *x)).lognormvariate(math.log(0.005), 1.0))
    return sum(v * v - 10 * math.cos(2 * math.pi * v) + 10 for v in x)


results, walls = {}, {}
with ThreadPoolExecutor(max_workers=4) as pool:
    for form in ("batch", "asynchronous"):
        optimizer = pso.Optimizer(BOUNDS, **SETTINGS, **{form: True})
        start = time.perf_counter()
        results[form] = parallel.run(optimizer, slow_rastrigin, pool, workers=4)
        walls[form] = time.perf_counter() - start
        if form == "asynchronous":
            events = optimizer.events

for form, r in results.items():
    print(f"{form:13s} {r.evaluations} evaluations, best {r.best_value:8.4f}")

# %%
# The asynchronous run depends on the order the values came back in, which the clock decides;
# ``events`` records it, and replaying the events repeats the run bit for bit.

again = pso.Optimizer(BOUNDS, **SETTINGS, asynchronous=True)
for ticket, value in events:
    if value is None:
        again.ask()
    else:
        again.tell(ticket, value)
assert again.result().to_dict() == results["asynchronous"].to_dict()
print("replayed: the same result, bit for bit")

# %%
# Wall time of the two forms (it varies from build to build: the machine's clock decides).

fig, ax = plt.subplots(figsize=(5, 2.5))
ax.barh(list(walls), list(walls.values()), color=["tab:gray", "tab:blue"])
ax.set_xlabel("wall time (s)")
ax.set_title(f"{results['batch'].evaluations} evaluations on 4 workers")
fig.tight_layout()
