"""Wall time and best value of the batch form against the asynchronous form, driven by
parallel.run with 4 workers, on a process pool and on a Dask LocalCluster.

Each evaluation sleeps for a time drawn from a log-normal distribution (median 20 ms; sigma 1 by
default: one evaluation in twenty takes over 100 ms; --sigma 1.5 is a heavier tail), derived from
the point itself so that a run's delays do not depend on the worker, then returns the 5-D
Rastrigin function. Both forms have 20 particles and 99 iterations: 2,000 evaluations. The batch
form waits for the slowest evaluation of every iteration; the asynchronous form keeps 4
evaluations in flight (plus --prefetch more waiting in the executor's queue) and asks again as
soon as one is back. Each figure is the median over the seeds; sleeping costs no CPU, so the
machine's other work changes the figures little.

With --problem dtlz2 the optimizer is a MultiOptimizer on the two-objective DTLZ2 problem with 6
variables (the same sleeps, the same particles and budget), and the quality is the hypervolume
of the final front under the reference point (1.1, 1.1) (the true front's is 1.21 - pi / 4, about
0.4246); larger is better.

The ideal speed-up is what the asynchronous form would gain with no cost per task at all: the
time the batch form needs when each iteration's evaluations go to the first free worker, over the
time the asynchronous form needs when every evaluation does (the median over simulated runs of
the same distribution).

    python benchmarks/async_cluster.py [--seeds 5] [--evaluations 2000] [--sigma 1.0]
                                       [--prefetch 0 1] [--executors processes dask]
                                       [--problem rastrigin|dtlz2]
"""

import argparse
import heapq
import math
import random
import statistics
import struct
import time
from concurrent.futures import ProcessPoolExecutor

import corvalinth as pso
from corvalinth import parallel

WORKERS = 4
N_PARTICLES = 20
BOUNDS = [(-5.12, 5.12)] * 5
DTLZ2_BOUNDS = [(0.0, 1.0)] * 6
REFERENCE = [1.1, 1.1]
MEDIAN_SECONDS = 0.020
SIGMA = 1.0  # replaced by --sigma before the workers start


def sleep_for(x, sigma):
    """The evaluation time of point x: a log-normal draw seeded by the point itself."""
    time.sleep(random.Random(struct.pack(f"<{len(x)}d", *x)).lognormvariate(
        math.log(MEDIAN_SECONDS), SIGMA if sigma is None else sigma))


def slow_rastrigin(x, sigma=None):
    sleep_for(x, sigma)
    return 10.0 * len(x) + sum(v * v - 10.0 * math.cos(2.0 * math.pi * v) for v in x)


def slow_dtlz2(x, sigma=None):
    """Two-objective DTLZ2: the first variable places the point on the front, the others add
    their squared distance from 0.5."""
    sleep_for(x, sigma)
    g = sum((v - 0.5) ** 2 for v in x[1:])
    angle = 0.5 * math.pi * x[0]
    return [(1.0 + g) * math.cos(angle), (1.0 + g) * math.sin(angle)]


PROBLEMS = {"rastrigin": (pso.Optimizer, BOUNDS, slow_rastrigin),
            "dtlz2": (pso.MultiOptimizer, DTLZ2_BOUNDS, slow_dtlz2)}


def makespan(durations):
    free = [0.0] * WORKERS
    for d in durations:
        heapq.heappush(free, heapq.heappop(free) + d)
    return max(free)


def ideal_speed_up(sigma, evaluations, runs=200):
    batch, asynchronous = [], []
    for run in range(runs):
        rng = random.Random(run)
        d = [rng.lognormvariate(math.log(MEDIAN_SECONDS), sigma) for _ in range(evaluations)]
        batch.append(sum(makespan(d[k:k + N_PARTICLES]) for k in range(0, evaluations,
                                                                        N_PARTICLES)))
        asynchronous.append(makespan(d))
    return statistics.median(batch), statistics.median(asynchronous)


def timed(executor, seed, form, arguments, prefetch):
    """Wall time and quality (best value, or the front's hypervolume) of one run."""
    cls, bounds, _ = PROBLEMS[arguments.problem]
    max_iter = arguments.evaluations // N_PARTICLES - 1
    optimizer = cls(bounds, n_particles=N_PARTICLES, max_iter=max_iter, seed=seed,
                    record_history=False, **{form: True})
    objective = _Objective(arguments.problem, arguments.sigma)
    start = time.perf_counter()
    result = parallel.run(optimizer, objective, executor, workers=WORKERS, prefetch=prefetch)
    elapsed = time.perf_counter() - start
    assert result.evaluations == arguments.evaluations
    if arguments.problem == "dtlz2":
        return elapsed, pso.hypervolume(result.objectives, REFERENCE)
    return elapsed, result.best_value


class _Objective:
    """The problem's slow objective with the run's sigma, picklable by reference to this
    module."""

    def __init__(self, problem, sigma):
        self.problem = problem
        self.sigma = sigma

    def __call__(self, x):
        return PROBLEMS[self.problem][2](x, self.sigma)


def compare(name, executor, arguments):
    list(executor.map(abs, range(2 * WORKERS)))  # workers started before the clock runs
    forms = [("batch", 0)] + [("asynchronous", p) for p in arguments.prefetch]
    figures = {}
    for form, prefetch in forms:
        runs = [timed(executor, seed, form, arguments, prefetch) for seed in range(arguments.seeds)]
        label = form if form == "batch" else f"async+{prefetch}"
        figures[label] = (statistics.median(t for t, _ in runs),
                          statistics.median(v for _, v in runs))
        speed_up = figures["batch"][0] / figures[label][0]
        quality = "hypervolume" if arguments.problem == "dtlz2" else "best value"
        print(f"{name:10s} sigma {arguments.sigma:3.1f}  {label:9s} wall {figures[label][0]:7.2f} s"
              f"  {quality} {figures[label][1]:8.4f}  speed-up {speed_up:4.2f}x"
              f"  (median of {arguments.seeds} seeds)", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seeds", type=int, default=5)
    parser.add_argument("--evaluations", type=int, default=2000)
    parser.add_argument("--sigma", type=float, default=SIGMA)
    parser.add_argument("--prefetch", type=int, nargs="+", default=[0, 1])
    parser.add_argument("--executors", nargs="+", default=["processes", "dask"])
    parser.add_argument("--problem", choices=list(PROBLEMS), default="rastrigin")
    arguments = parser.parse_args()
    batch, asynchronous = ideal_speed_up(arguments.sigma, arguments.evaluations)
    print(f"ideal at sigma {arguments.sigma:3.1f}: batch {batch:.2f} s, asynchronous "
          f"{asynchronous:.2f} s, speed-up {batch / asynchronous:.2f}x", flush=True)
    if "processes" in arguments.executors:
        with ProcessPoolExecutor(WORKERS) as pool:
            compare("processes", pool, arguments)
    if "dask" not in arguments.executors:
        return
    try:
        import distributed
    except ImportError:
        print("Dask's distributed scheduler is not installed: no cluster figures")
        return
    with distributed.LocalCluster(n_workers=WORKERS, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        compare("dask", client.get_executor(), arguments)


if __name__ == "__main__":
    main()
