"""Prints the speed-up of parallel.batch over the serial vectorised run. Asserts only that the
seeded results are the same.

An objective that costs about 5 ms of CPU per point (a calibrated Python loop) is minimised with
vectorized=True, first serially in this process, then through parallel.batch on a process pool
of 1 and of 2 workers (started and warmed up before the clock runs), with one row per task (the
default) and with the rows split evenly over the workers (chunksize = rows / workers). On a shared
machine the figures are bounded by what it gives two processes at that moment, so the script
also prints that ceiling (the same evaluations split over the pool without a run) and the CPU
time of this process and of the workers, which the machine's load does not change much: the
workers' total should match the serial run's and this process should spend little. Each figure is the best of
REPEATS runs, since other work on the machine only ever slows a run down.

    python benchmarks/parallel_batch.py [n_particles] [max_iter]
"""

import resource
import sys
import time
from concurrent.futures import ProcessPoolExecutor

import corvalinth as pso
from corvalinth import parallel

COST_SECONDS = 0.005
REPEATS = 3
BOUNDS = [(-5.0, 5.0)] * 4
LOOPS = 1  # set by calibrate() before any pool starts, inherited by forked workers


def busy(loops):
    total = 0.0
    for k in range(loops):
        total += k * 1e-9
    return total


def calibrate():
    """Loop count whose run costs about COST_SECONDS of CPU time here (CPU time, so that other
    work on the machine does not skew it)."""
    loops = 10_000
    while True:
        start = time.process_time()
        busy(loops)
        elapsed = time.process_time() - start
        if elapsed > 0.02:
            return max(1, int(loops * COST_SECONDS / elapsed))
        loops *= 2


def expensive(x):
    spent = busy(LOOPS)
    return sum(v * v for v in x) + (spent - spent)


def evaluate_many(count):
    for _ in range(count):
        expensive([0.0])


def machine_ceiling(pool, workers, evaluations):
    """Speed-up of `evaluations` calls split over the pool's workers against one process."""
    start = time.perf_counter()
    evaluate_many(evaluations)
    serial = time.perf_counter() - start
    start = time.perf_counter()
    list(pool.map(evaluate_many, [evaluations // workers] * workers))
    return serial / (time.perf_counter() - start)


def timed_run(objective, n_particles, max_iter):
    """(best time of REPEATS seeded runs, CPU seconds of this process per run, the result)."""
    best = float("inf")
    cpu = time.process_time()
    for _ in range(REPEATS):
        start = time.perf_counter()
        result = pso.minimize(objective, BOUNDS, vectorized=True, n_particles=n_particles,
                              max_iter=max_iter, seed=3, record_history=False)
        best = min(best, time.perf_counter() - start)
    return best, (time.process_time() - cpu) / REPEATS, result


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    global LOOPS
    n_particles = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    max_iter = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    LOOPS = calibrate()
    start = time.process_time()
    for _ in range(20):
        expensive([0.0])
    per_point = (time.process_time() - start) / 20
    evaluations = n_particles * (max_iter + 1)
    print(f"objective: {per_point * 1e3:.2f} ms of CPU per point; {evaluations} evaluations "
          "per run")

    serial_time, serial_cpu, serial = timed_run(
        lambda X: [expensive(row) for row in X.tolist()], n_particles, max_iter)
    print(f"serial vectorised: {serial_time:.3f} s, CPU {serial_cpu:.3f} s per run")
    for workers in (1, 2):
        with ProcessPoolExecutor(workers) as pool:
            ceiling = machine_ceiling(pool, workers, evaluations)
        print(f"{workers} worker(s): the machine's ceiling now is {ceiling:.2f}x")
        for chunksize in (None, -(-n_particles // workers)):
            before = children_cpu()
            with ProcessPoolExecutor(workers) as pool:
                list(pool.map(expensive, [[0.0]] * workers))  # start and warm the workers
                spread_time, own_cpu, spread = timed_run(
                    parallel.batch(expensive, pool, chunksize), n_particles, max_iter)
            workers_cpu = (children_cpu() - before) / REPEATS
            assert spread.to_dict() == serial.to_dict(), "a seeded run must not change"
            print(f"batch, {workers} worker(s), chunksize={chunksize}: {spread_time:.3f} s, "
                  f"speed-up {serial_time / spread_time:.2f}x; CPU per run: this process "
                  f"{own_cpu:.3f} s, workers {workers_cpu:.3f} s")


if __name__ == "__main__":
    main()
