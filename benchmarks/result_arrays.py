"""Prints what reading a long history costs: as a NumPy array, pickled and unpickled, and (with
--lists) as the nested lists of the history attribute. Asserts nothing.

    python benchmarks/result_arrays.py [--lists]

The run has 50 particles in 50 dimensions for 20000 iterations: a history of 50 million values
(400 MB as doubles).
"""

import pickle
import sys
import time

import corvalinth as pso

PARTICLES, DIM, ITERATIONS = 50, 50, 20_000


def timed(label, action):
    start = time.perf_counter()
    value = action()
    print(f"{label}: {(time.perf_counter() - start) * 1e3:.3f} ms")
    return value


def main():
    r = timed("run", lambda: pso.minimize("sphere", [(-5, 5)] * DIM, n_particles=PARTICLES,
                                          max_iter=ITERATIONS, seed=1))
    import numpy as np  # loaded before the clock runs: the first array would pay for it

    array = timed("history_array()", r.history_array)
    timed("np.asarray(r.history_array())", lambda: np.asarray(r.history_array()))
    print(f"  shape {array.shape}, {array.nbytes / 2**20:.0f} MiB shared with the result")
    timed("history_array().copy()", lambda: r.history_array().copy())
    data = timed("pickle.dumps", lambda: pickle.dumps(r, protocol=pickle.HIGHEST_PROTOCOL))
    timed("pickle.loads", lambda: pickle.loads(data))
    if "--lists" in sys.argv:
        timed("history (nested lists)", lambda: r.history)


if __name__ == "__main__":
    main()
