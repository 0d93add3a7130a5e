"""Best answers per evaluation on the noiseless "bbob" suite, side by side with peers.

Every solver gets the same problems: the 24 functions, instances 1-5, D = 2, 5, 10, 20 (box
[-5, 5]^D), a budget of 1000 * D evaluations, counted by one counter that refuses evaluation
budget + 1. A (function, instance, target) triple is reached when the best value seen is below
f_opt + 10^k, for the 51 targets k = 2, 1.8, ..., -8. The tables give the fraction of triples
reached per D and per function group, and the CPU time per evaluation spent beyond the
objective (wall time of the run less the time inside the objective, over the evaluations).

f_opt is read from the data files of the suite's own observer (the "Fopt (...)" header of each
instance's record), once, and cached; `Problem._f0` of cocoex 2.8 is broken.

    pip install ".[bench]"                 # cocoex, pygmo, pyswarms, scipy
    nice -n 10 python benchmarks/bbob.py                         # everything (about an hour)
    python benchmarks/bbob.py --dims 2 5 --functions 1-9 --solvers robust de --instances 1-2
    python benchmarks/bbob.py --list                             # the solvers' names
    python benchmarks/bbob.py --json runs.json ...; python benchmarks/bbob.py --from-json runs.json --rst

Prints figures, asserts nothing. Solvers that need a package that is missing are skipped.
"""

import argparse
import json
import math
import multiprocessing
import os
import re
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
from _tables import print_table

GROUPS = {"f1-5": range(1, 6), "f6-9": range(6, 10), "f10-14": range(10, 15),
          "f15-19": range(15, 20), "f20-24": range(20, 25)}
TARGET_EXPONENTS = [2.0 - 0.2 * k for k in range(51)]  # 2, 1.8, ..., -8
BUDGET_PER_DIMENSION = 1000
CACHE = Path(os.environ.get("XDG_CACHE_HOME", Path.home() / ".cache")) / "corvalinth-bbob"


class BudgetExhausted(Exception):
    """Raised by the counter when a solver asks for one evaluation beyond the budget."""


class CountedProblem:
    """The objective every solver sees: counts evaluations, refuses budget + 1, keeps the best
    f - f_opt and the time spent inside the objective."""

    def __init__(self, problem, f_opt, budget):
        self.problem, self.f_opt, self.budget = problem, f_opt, budget
        self.evaluations = 0
        self.best = math.inf
        self.inside = 0.0

    def __call__(self, x):
        start = time.perf_counter()
        if self.evaluations >= self.budget:
            raise BudgetExhausted
        self.evaluations += 1
        value = self.problem(np.asarray(x, dtype=float))
        precision = value - self.f_opt
        if precision < self.best:
            self.best = precision
        self.inside += time.perf_counter() - start
        return value

    def rows(self, x):
        """Vectorised form: evaluates rows in order until the budget refuses one."""
        return np.array([self(row) for row in np.asarray(x, dtype=float)])


# --------------------------------------------------------------------------------------------
# Solvers: each takes (counted objective, dim, budget, seed) and spends at most the budget.

def ours(**settings):
    def solve(objective, dim, budget, seed):
        import corvalinth  # noqa: PLC0415

        options = {"max_iter": 10**9, **settings}
        corvalinth.minimize(objective, [(-5.0, 5.0)] * dim, max_evals=budget, seed=seed,
                            record_history=False, **options)
    return solve


def pygmo_solver(name, **options):
    def solve(objective, dim, budget, seed):
        import pygmo  # noqa: PLC0415

        class Problem:
            def fitness(self, x):
                return [objective(x)]

            def get_bounds(self):
                return [-5.0] * dim, [5.0] * dim

        population = 30
        generations = budget // population - 1
        algorithm = pygmo.algorithm(getattr(pygmo, name)(gen=generations, seed=seed, **options))
        pop = pygmo.population(pygmo.problem(Problem()), population, seed=seed)
        algorithm.evolve(pop)
    return solve


def differential_evolution(objective, dim, budget, seed):
    from scipy.optimize import differential_evolution as de  # noqa: PLC0415

    population = 15 * dim
    iterations = budget // population - 1
    de(objective, [(-5.0, 5.0)] * dim, maxiter=iterations, polish=False, tol=0, seed=seed)


def pyswarms_solver(objective, dim, budget, seed):
    import pyswarms  # noqa: PLC0415

    np.random.seed(seed)
    swarm = pyswarms.single.GlobalBestPSO(
        n_particles=30, dimensions=dim, options={"c1": 1.49445, "c2": 1.49445, "w": 0.729},
        bounds=(np.full(dim, -5.0), np.full(dim, 5.0)))
    swarm.optimize(objective.rows, iters=budget // 30, verbose=False)


SOLVERS = {
    "defaults": (ours(), None),
    "reflect": (ours(bounds_handling="reflect"), None),
    "constriction-ring": (ours(velocity="constriction", topology="ring"), None),
    "fips-vonneumann": (ours(velocity="fips", topology="vonneumann"), None),
    "robust": (ours(preset="robust"), None),
    "robust-swarm": (ours(preset="robust", local_search=None), None),
    "pygmo-pso": (pygmo_solver("pso"), "pygmo"),
    "pygmo-pso_gen": (pygmo_solver("pso_gen"), "pygmo"),
    "de": (differential_evolution, "scipy"),
    "pyswarms": (pyswarms_solver, "pyswarms"),
}


def available(name):
    package = SOLVERS[name][1]
    if package is None:
        return True
    try:
        __import__(package)
    except ImportError:
        return False
    return True


def add_solver(spec):
    """`label=key=value,key=value` adds a configuration of ours (values read as Python
    literals), for trying settings without editing this file."""
    import ast  # noqa: PLC0415

    label, _, body = spec.partition("=")
    settings = {}
    for item in filter(None, body.split(",")):
        key, _, text = item.partition("=")
        try:
            settings[key] = ast.literal_eval(text)
        except (ValueError, SyntaxError):
            settings[key] = text
    SOLVERS[label] = (ours(**settings), None)
    return label


# --------------------------------------------------------------------------------------------
# The suite

def optimal_values(dims, functions, instances):
    """{(function, instance, dim): f_opt}, from the observer's record headers, cached."""
    CACHE.mkdir(parents=True, exist_ok=True)
    path = CACHE / "fopt.json"
    known = json.loads(path.read_text()) if path.exists() else {}
    wanted = [(f, i, d) for d in dims for f in functions for i in instances]
    missing = [key for key in wanted if "%d,%d,%d" % key not in known]
    if missing:
        import cocoex  # noqa: PLC0415

        here = os.getcwd()
        with tempfile.TemporaryDirectory() as folder:
            os.chdir(folder)  # the observer writes below the working directory
            try:
                for f, i, d in missing:
                    known["%d,%d,%d" % (f, i, d)] = observed_optimum(cocoex, f, i, d)
            finally:
                os.chdir(here)
        path.write_text(json.dumps(known))
    return {key: known["%d,%d,%d" % key] for key in wanted}


def observed_optimum(cocoex, f, i, d):
    """f_opt of one problem, as the observer records it after one evaluation."""
    suite = cocoex.Suite("bbob", f"instances:{i}", f"dimensions:{d} function_indices:{f}")
    name = f"f{f}i{i}d{d}"
    observer = cocoex.Observer("bbob", f"result_folder: {name}")
    problem = suite[0]
    problem.observe_with(observer)
    problem(problem.initial_solution)
    problem.free()
    del observer, suite
    text = "".join(p.read_text() for p in Path(".").glob(f"**/{name}*/**/*.dat"))
    found = re.search(r"Fopt \(([-+0-9.eE]+)\)", text)
    if found is None:
        sys.exit(f"no f_opt in the observer's record for f{f} i{i} d{d}")
    return float(found.group(1))


def run_one(task):
    """One solver on one problem: (solver, f, i, d, best precision, evaluations, wall, inside)."""
    solver, f, i, d, f_opt = task
    import cocoex  # noqa: PLC0415

    suite = cocoex.Suite("bbob", f"instances:{i}", f"dimensions:{d} function_indices:{f}")
    budget = BUDGET_PER_DIMENSION * d
    objective = CountedProblem(suite[0], f_opt, budget)
    seed = 1000 * f + 10 * i + d
    start = time.perf_counter()
    try:
        SOLVERS[solver][0](objective, d, budget, seed)
    except BudgetExhausted:
        pass
    except Exception as error:  # a peer may wrap the refusal in its own exception
        if objective.evaluations < budget:
            raise RuntimeError(f"{solver} failed on f{f} i{i} d{d}: {error!r}") from error
    wall = time.perf_counter() - start
    return solver, f, i, d, objective.best, objective.evaluations, wall, objective.inside


def reached(precision):
    return sum(1 for k in TARGET_EXPONENTS if precision < 10.0**k)


def parse_range(items):
    values = []
    for item in items:
        low, _, high = str(item).partition("-")
        values.extend(range(int(low), int(high or low) + 1))
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dims", nargs="+", type=int, default=[2, 5, 10, 20])
    parser.add_argument("--functions", nargs="+", default=["1-24"])
    parser.add_argument("--instances", nargs="+", default=["1-5"])
    parser.add_argument("--solvers", nargs="*", default=None)
    parser.add_argument("--add", action="append", default=[],
                        help="label=key=value,... : one more configuration of ours")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--json", help="also write every run's record to this file")
    parser.add_argument("--from-json", help="print the tables of records written by --json")
    parser.add_argument("--rst", action="store_true", help="tables as reStructuredText")
    args = parser.parse_args()
    added = [add_solver(spec) for spec in args.add]
    if args.list:
        print(" ".join(SOLVERS))
        return
    chosen = list(SOLVERS) if args.solvers is None else args.solvers
    unknown = [s for s in chosen if s not in SOLVERS]
    if unknown:
        sys.exit(f"unknown solver(s) {', '.join(unknown)}; known: {' '.join(SOLVERS)}")
    solvers = [s for s in chosen + added if available(s)]
    solvers = list(dict.fromkeys(solvers))
    functions, instances = parse_range(args.functions), parse_range(args.instances)
    if args.from_json:
        records = [r for r in json.loads(Path(args.from_json).read_text())
                   if r[0] in solvers and r[3] in args.dims and r[1] in functions]
        report(records, solvers, args.dims, functions, args.rst)
        return
    f_opt = optimal_values(args.dims, functions, instances)
    tasks = [(s, f, i, d, f_opt[(f, i, d)]) for d in args.dims for f in functions
             for i in instances for s in solvers]
    with multiprocessing.Pool(args.jobs) as pool:
        records = list(pool.imap_unordered(run_one, tasks, chunksize=4))
    if args.json:
        Path(args.json).write_text(json.dumps(records))
    report(records, solvers, args.dims, functions, args.rst)


def fraction(records):
    if not records:
        return float("nan")
    return sum(reached(r[4]) for r in records) / (len(TARGET_EXPONENTS) * len(records))


def report(records, solvers, dims, functions, rst=False):
    groups = [(name, [f for f in members if f in functions]) for name, members in GROUPS.items()]
    groups = [(name, members) for name, members in groups if members]
    print(f"Fraction of (function, instance, target) reached, budget {BUDGET_PER_DIMENSION} * D\n")
    rows = []
    for s in solvers:
        mine = [r for r in records if r[0] == s]
        overhead = sum(r[6] - r[7] for r in mine) / max(1, sum(r[5] for r in mine)) * 1e6
        rows.append([s, *(f"{fraction([r for r in mine if r[3] == d]):.3f}" for d in dims),
                     f"{fraction(mine):.3f}", f"{overhead:.2f}"])
    print_table(["solver", *(f"D{d}" for d in dims), "all", "us/eval"], rows, rst=rst,
                numbers_right=True)
    for d in dims:
        print(f"\nD = {d}, per function group\n")
        rows = []
        for s in solvers:
            mine = [r for r in records if r[0] == s and r[3] == d]
            rows.append([s, *(f"{fraction([r for r in mine if r[1] in members]):.3f}"
                              for _, members in groups)])
        print_table(["solver", *(name for name, _ in groups)], rows, rst=rst, numbers_right=True)


if __name__ == "__main__":
    main()
