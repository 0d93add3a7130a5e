"""
A progress display
==================

:func:`corvalinth.progress.bar` builds a callback that shows the iteration count and the best
value so far: a tqdm bar when tqdm is installed, a plain line otherwise. It costs a fraction of
a microsecond per iteration. Used as a context manager it also closes cleanly when a run stops
before ``max_iter`` (here at a target value). The display writes to standard error; this
example sends it to standard output so that it appears on the page.
"""

import sys

import corvalinth as pso
from corvalinth import progress, viz


def sphere(x):
    return sum(v * v for v in x)


with progress.bar(2000, file=sys.stdout, plain=True, mininterval=0.05) as show:
    result = pso.minimize(sphere, bounds=[(-5, 5)] * 8, max_iter=2000, target=1e-12, seed=3,
                          callback=show)

print(f"stopped by {result.stop_reason} after {show.iteration} of 2000 iterations")

# %%
# The best value the display showed, iteration by iteration, is the run's convergence curve.

viz.plot_convergence(result)

# %%
# A callback of your own can be combined with the display, for instance to stop on a
# condition of your choosing (returning ``False`` stops the run).

show = progress.bar(500, file=sys.stdout, plain=True, desc="with a stop rule")


def watch(iteration, best_value):
    show(iteration, best_value)
    return best_value > 1e-6


result = pso.minimize(sphere, bounds=[(-5, 5)] * 8, max_iter=500, seed=3, callback=watch)
show.close()
print(f"stopped by {result.stop_reason} at {result.best_value:.3g}")
