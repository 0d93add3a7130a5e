"""Wall time and best value of the batch form against the asynchronous form, driven by
parallel.run with 4 workers, on a process pool and on a Dask LocalCluster.

Each evaluation sleeps for a time drawn from a log-normal distribution (median 20 ms, sigma 1:
one evaluation in twenty takes over 100 ms), derived from the point itself so that a run's delays
do not depend on the worker, then returns the 5-D Rastrigin function. Both forms have 20
particles and 99 iterations: 2,000 evaluations. The batch form waits for the slowest evaluation
of every iteration; the asynchronous form keeps 4 evaluations in flight and asks again as soon as
one is back. Each figure is the median over SEEDS; sleeping costs no CPU, so the machine's other
work changes the figures little.

    python benchmarks/async_cluster.py [seeds] [evaluations]
"""

import math
import random
import statistics
import struct
import sys
import time
from concurrent.futures import ProcessPoolExecutor

import corvalinth as pso
from corvalinth import parallel

WORKERS = 4
N_PARTICLES = 20
BOUNDS = [(-5.12, 5.12)] * 5
MEDIAN_SECONDS = 0.020
SIGMA = 1.0


def slow_rastrigin(x):
    delay = random.Random(struct.pack(f"<{len(x)}d", *x)).lognormvariate(
        math.log(MEDIAN_SECONDS), SIGMA)
    time.sleep(delay)
    return 10.0 * len(x) + sum(v * v - 10.0 * math.cos(2.0 * math.pi * v) for v in x)


def timed(executor, seed, form, evaluations):
    max_iter = evaluations // N_PARTICLES - 1
    optimizer = pso.Optimizer(BOUNDS, n_particles=N_PARTICLES, max_iter=max_iter, seed=seed,
                              record_history=False, **{form: True})
    start = time.perf_counter()
    result = parallel.run(optimizer, slow_rastrigin, executor, workers=WORKERS)
    elapsed = time.perf_counter() - start
    assert result.evaluations == evaluations
    return elapsed, result.best_value


def compare(name, executor, seeds, evaluations):
    list(executor.map(abs, range(2 * WORKERS)))  # workers started before the clock runs
    figures = {}
    for form in ("batch", "asynchronous"):
        runs = [timed(executor, seed, form, evaluations) for seed in range(seeds)]
        figures[form] = (statistics.median(t for t, _ in runs),
                         statistics.median(v for _, v in runs))
        print(f"{name:12s} {form:13s} wall {figures[form][0]:7.2f} s   "
              f"best value {figures[form][1]:9.4f}   (median of {seeds} seeds)", flush=True)
    print(f"{name:12s} asynchronous speed-up: "
          f"{figures['batch'][0] / figures['asynchronous'][0]:.2f}x", flush=True)


def main():
    seeds = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    evaluations = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    with ProcessPoolExecutor(WORKERS) as pool:
        compare("processes", pool, seeds, evaluations)
    try:
        import distributed
    except ImportError:
        print("Dask's distributed scheduler is not installed: no cluster figures")
        return
    with distributed.LocalCluster(n_workers=WORKERS, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        compare("dask", client.get_executor(), seeds, evaluations)


if __name__ == "__main__":
    main()
