"""Constrained two- and three-objective problems: `minimize_multi` with constraints against
pymoo's NSGA-II with its own constraint handling, at equal evaluations.

Problems (pymoo's definitions, inequality constraints g(x) <= 0):
  OSY      6 variables, 2 objectives, 6 constraints; hypervolume reference (0, 80)
  TNK      2 variables, 2 objectives, 2 constraints; reference (1.2, 1.2)
  C2-DTLZ2 12 variables, 3 objectives, 1 constraint; reference (1.1, 1.1, 1.1)

Each run has the same budget of evaluations (an evaluation computes the objectives and the
constraints of one point, counted once). Prints per problem and algorithm the median
hypervolume of the feasible members of the final set (0 when none is feasible), the runs that
ended with a feasible front, the median number of feasible members and the median seconds per
run. The hypervolume is corvalinth's own. NSGA-II: pymoo's defaults with 100 individuals (its
constraint handling is the feasibility-first tournament and survival). Ours: `minimize_multi`
with 100 particles and an archive of 100, defaults otherwise, and with preset="robust".

    python benchmarks/constrained_fronts.py [--seeds 10] [--budget 20000] [--rst]

Needs the `bench` extra (`pip install ".[bench]"`).
"""

import argparse
import statistics
import time

import numpy as np
from _tables import print_table

import corvalinth as pso

PARTICLES = 100


def problems():
    from pymoo.problems import get_problem

    return [
        ("OSY", get_problem("osy"), [0.0, 80.0]),
        ("TNK", get_problem("tnk"), [1.2, 1.2]),
        ("C2-DTLZ2", get_problem("c2dtlz2", n_var=12, n_obj=3), [1.1, 1.1, 1.1]),
    ]


class Counted:
    """The problem's objectives and constraints of a block of points, computed once per block and
    counted; the constraint columns are handed out from the same evaluation."""

    def __init__(self, problem):
        self.problem = problem
        self.evaluations = 0
        self.last = None

    def objectives(self, x):
        x = np.asarray(x, dtype=np.float64)
        f, g = self.problem.evaluate(x, return_values_of=["F", "G"])
        self.evaluations += len(x)
        self.last = (x.copy(), np.atleast_2d(g))
        return f

    def constraint(self, k):
        def g(x):
            block, values = self.last
            assert np.array_equal(block, x), "constraints follow the objective's block"
            return values[:, k]
        return g


def run_ours(problem, budget, seed, keywords):
    counted = Counted(problem)
    bounds = list(zip(problem.xl.tolist(), problem.xu.tolist()))
    constraints = [counted.constraint(k) for k in range(problem.n_ieq_constr)]
    settings = dict(n_particles=PARTICLES, archive_size=PARTICLES, seed=seed,
                    record_history=False, vectorized=True, constraints=constraints)
    if "preset" in keywords:
        settings["max_evals"] = budget
    else:
        settings["max_iter"] = budget // PARTICLES - 1
    settings.update(keywords)
    front = pso.minimize_multi(counted.objectives, bounds, **settings)
    assert counted.evaluations <= budget
    feasible = [o for o, v in zip(front.objectives, front.violations) if v == 0.0]
    return np.array(feasible).reshape(len(feasible), problem.n_obj)


def run_nsga2(problem, budget, seed, _keywords):
    from pymoo.algorithms.moo.nsga2 import NSGA2
    from pymoo.optimize import minimize

    result = minimize(problem, NSGA2(pop_size=PARTICLES), ("n_eval", budget), seed=seed,
                      verbose=False)
    if result.F is None:  # no feasible solution found
        return np.zeros((0, problem.n_obj))
    g = np.atleast_2d(problem.evaluate(result.X, return_values_of=["G"]))
    return np.atleast_2d(result.F)[(g <= 0.0).all(axis=1)]


ALGORITHMS = [
    ("corvalinth minimize_multi", run_ours, {}),
    ("corvalinth preset='robust'", run_ours, {"preset": "robust"}),
    ("pymoo NSGA-II", run_nsga2, {}),
]


def measure(problem, reference, run, keywords, args):
    volumes, sizes, seconds = [], [], []
    for seed in range(1, args.seeds + 1):
        start = time.perf_counter()
        feasible = run(problem, args.budget, seed, keywords)
        seconds.append(time.perf_counter() - start)
        sizes.append(len(feasible))
        volumes.append(pso.hypervolume(feasible, reference) if len(feasible) else 0.0)
    return (statistics.median(volumes), sum(s > 0 for s in sizes), statistics.median(sizes),
            statistics.median(seconds))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seeds", type=int, default=10)
    parser.add_argument("--budget", type=int, default=20_000)
    parser.add_argument("--rst", action="store_true", help="print a reStructuredText table")
    args = parser.parse_args()
    header = ["problem", "algorithm", "median hypervolume", "feasible fronts",
              "median feasible members", "seconds per run"]
    rows = []
    for name, problem, reference in problems():
        for label, run, keywords in ALGORITHMS:
            volume, fronts, members, seconds = measure(problem, reference, run, keywords, args)
            rows.append([name, label, f"{volume:.6g}", f"{fronts}/{args.seeds}",
                         f"{members:g}", f"{seconds:.2f}"])
    print_table(header, rows, rst=args.rst, separator=" | ")
    print(f"\n{args.budget} evaluations per run, seeds 1-{args.seeds}.")


if __name__ == "__main__":
    main()
