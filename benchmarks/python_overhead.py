"""Prints what the Python binding costs. Asserts nothing.

1. Per-evaluation overhead of a Python objective: a run of `minimize` on a cheap Python function
   against a bare Python loop that builds the same list and calls the same function as often.
2. A native benchmark run through `minimize` against the core's own benchmark (the C++ program
   core_bench, if its path is given), in ns per particle-dimension-iteration.

    python benchmarks/python_overhead.py [path/to/core_bench]
"""

import subprocess
import sys
import time

import corvalinth as pso

DIM, PARTICLES, ITERATIONS = 10, 30, 1000


def objective(x):
    return x[0]


def best_of(repeats, measure):
    return min(measure() for _ in range(repeats))


def time_minimize(target, dim=DIM, **kwargs):
    def measure():
        start = time.perf_counter()
        pso.minimize(target, [(-5.12, 5.12)] * dim, seed=1, record_history=False, **kwargs)
        return time.perf_counter() - start
    return measure


def python_overhead():
    evaluations = PARTICLES * (ITERATIONS + 1)
    point = tuple(float(k) for k in range(DIM))

    def bare_loop():
        start = time.perf_counter()
        for _ in range(evaluations):
            objective(list(point))
        return time.perf_counter() - start

    loop = best_of(5, bare_loop)
    run = best_of(5, lambda: time_minimize(objective, n_particles=PARTICLES,
                                           max_iter=ITERATIONS)())
    native = best_of(5, lambda: time_minimize("sphere", n_particles=PARTICLES,
                                              max_iter=ITERATIONS)())
    per = 1e9 / evaluations
    print(f"Python objective, {DIM} dimensions, {evaluations} evaluations:")
    print(f"  bare loop (build list + call):       {loop * per:8.1f} ns per evaluation")
    print(f"  minimize, Python objective:          {run * per:8.1f} ns per evaluation")
    print(f"  minimize, native sphere (swarm only): {native * per:7.1f} ns per evaluation")
    print(f"  Python objective cost in minimize:   {(run - native) * per:8.1f} ns per evaluation "
          f"({(run - native) / loop:.2f}x the bare loop)")


def native_run(core_bench):
    dim, particles, iterations = 30, 30, 1000
    run = best_of(5, lambda: time_minimize("sphere", dim=dim, n_particles=particles,
                                           max_iter=iterations)())
    per_unit = run * 1e9 / (dim * particles * iterations)
    print(f"native sphere 30x30x1000 through minimize (history off): {per_unit:.3f} ns per "
          "particle-dimension-iteration")
    if core_bench:
        output = subprocess.run([core_bench], capture_output=True, text=True, check=True).stdout
        for line in output.splitlines():
            if line.startswith("sphere run"):
                print("core_bench: " + line)


if __name__ == "__main__":
    python_overhead()
    print()
    native_run(sys.argv[1] if len(sys.argv) > 1 else None)
