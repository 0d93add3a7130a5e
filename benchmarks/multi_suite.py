"""Measures `minimize_multi` against evolutionary peers on standard multi-objective suites.
Asserts nothing; prints one table per suite.

Suites:
  bbob    the bi-objective COCO suite "bbob-biobj" (55 functions) through `cocoex`, instances 1-3,
          D = 2, 5, 10, 10,000 evaluations, searched in the suite's domain [-5, 5]^D (`--box 100`
          searches the wider region of interest that `cocoex` reports as the bounds). The final set is normalised by the problem's ideal
          point (the optima of its two single-objective parts) and its nadir point, and measured
          with reference (1, 1); points beyond the reference add nothing.
  dtlz    DTLZ1, DTLZ2, DTLZ4 and WFG4 through pymoo at 3 and 5 objectives (m + 9 variables,
          23,092 evaluations: 92 x 251, the budget of NSGA-III with 91 reference directions).
          Objectives are divided by their nadir on the true front (0.5 for DTLZ1, 1 for DTLZ2 and
          DTLZ4, 2k for WFG4's k-th objective) and measured with reference 1.1 in every objective.

Every algorithm sees the objective through one counting wrapper that evaluates a block of points;
the hypervolume is corvalinth's own. "front size" is the mean number of points in the final set
(a swarm whose archive is far from full found too few non-dominated points; a larger archive
cannot help it). "overhead" is the process CPU time outside the objective,
per evaluation, in microseconds. Peers: pymoo's NSGA-II, NSGA-III (3+ objectives), MOPSO_CD and
SMS-EMOA, with 100 individuals (92 for NSGA-III, as many as its reference directions allow).

    python benchmarks/multi_suite.py bbob --dims 5 --functions 1-10 --algorithms ours,nsga2
    python benchmarks/multi_suite.py dtlz --algorithms ours,robust,nsga3
    python benchmarks/multi_suite.py bbob --ours "archive_truncation=hypervolume"

`ours` is `minimize_multi` with its defaults, `robust` the same with preset="robust", and every
`--ours KEY=VALUE,...` adds a column of `minimize_multi` with those keywords (values are read as
Python literals). Needs the `bench` extra (`pip install ".[bench]"`). Long sweeps take hours on
one core: run subsets, under `nice`.
"""

import argparse
import ast
import json
import os
import statistics
import sys
import tempfile
import time
from dataclasses import dataclass, field

import numpy as np

import corvalinth as pso

PARTICLES = 100


# --- problems -------------------------------------------------------------------------------------

@dataclass
class Problem:
    name: str              # table row
    function: str          # the column the per-function wins are counted in
    dim: int
    lower: np.ndarray
    upper: np.ndarray
    evaluate_block: object  # (k, dim) array -> (k, m) array
    ideal: np.ndarray
    nadir: np.ndarray
    reference: float
    budget: int
    objectives: int


@dataclass
class Counter:
    """The one objective every algorithm calls: counts points and the CPU time spent in them."""
    problem: Problem
    evaluations: int = 0
    seconds: float = 0.0
    seen: list = field(default_factory=list)

    def block(self, x):
        x = np.atleast_2d(np.asarray(x, dtype=float))
        start = time.process_time()
        values = np.asarray(self.problem.evaluate_block(x), dtype=float)
        self.seconds += time.process_time() - start
        self.evaluations += len(x)
        return values

    def point(self, x):
        return self.block(x)[0]


def bbob_problems(dims, functions, instances, box):
    import cocoex
    cocoex.utilities.silent = True
    budget = 10_000
    ideal_cache = {}
    workdir = tempfile.mkdtemp(prefix="multi-suite-")

    def optimum_value(name):
        # A part is named like "bbob_f001_i02_d05": its optimum's value is the ideal coordinate.
        if name not in ideal_cache:
            f, i, d = (int(part[1:]) for part in name.split("_")[1:4])
            single = cocoex.Suite("bbob", f"instances: {i}", f"dimensions: {d}")
            part = single.get_problem_by_function_dimension_instance(f, d, i)
            here = os.getcwd()
            os.chdir(workdir)
            try:
                part._best_parameter("print")
                x = np.loadtxt("._bbob_problem_best_parameter.txt", ndmin=1)
            finally:
                os.chdir(here)
            ideal_cache[name] = float(part(x))
        return ideal_cache[name]

    suite = cocoex.Suite("bbob-biobj", f"instances: {','.join(map(str, instances))}",
                         f"dimensions: {','.join(map(str, dims))}")
    for p in suite:
        if p.id_function not in functions:
            continue
        parts = p.name.split("__")
        ideal = np.array([optimum_value(parts[0]), optimum_value(parts[1])])
        nadir = np.asarray(p.largest_fvalues_of_interest, dtype=float)
        yield Problem(p.id, f"f{p.id_function:02d}", p.dimension, np.full(p.dimension, -box),
                      np.full(p.dimension, box),
                      lambda x, p=p: np.array([p(row) for row in x]), ideal, nadir, 1.0, budget,
                      2)


def dtlz_problems(names, objective_counts):
    from pymoo.problems import get_problem
    budget = 23_092
    for m in objective_counts:
        for name in names:
            n_var = m + 9
            if name.startswith("wfg"):
                problem = get_problem(name, n_var=n_var, n_obj=m, k=2 * (m - 1))
                nadir = 2.0 * np.arange(1, m + 1)
            else:
                problem = get_problem(name, n_var=n_var, n_obj=m)
                nadir = np.full(m, 0.5 if name == "dtlz1" else 1.0)
            yield Problem(f"{name} m={m}", name, n_var, np.asarray(problem.xl, dtype=float),
                          np.asarray(problem.xu, dtype=float),
                          lambda x, problem=problem: problem.evaluate(x, return_values_of=["F"]),
                          np.zeros(m), nadir, 1.1, budget, m)


def normalised_hypervolume(problem, front):
    front = np.asarray(front, dtype=float).reshape(-1, problem.objectives)
    scaled = (front - problem.ideal) / (problem.nadir - problem.ideal)
    inside = scaled[np.all(scaled < problem.reference, axis=1)]
    if len(inside) == 0:
        return 0.0
    return pso.hypervolume(np.ascontiguousarray(inside), [problem.reference] * problem.objectives)


# --- algorithms -----------------------------------------------------------------------------------

def run_ours(keywords):
    def run(problem, counter, seed):
        bounds = list(zip(problem.lower.tolist(), problem.upper.tolist()))
        particles = keywords.get("n_particles", PARTICLES)
        iterations = problem.budget // particles - 1
        settings = dict(n_particles=particles, seed=seed, record_history=False, vectorized=True)
        if "preset" in keywords and "max_iter" not in keywords:
            settings["max_evals"] = problem.budget
        else:
            settings["max_iter"] = iterations
        settings.update(keywords)
        front = pso.minimize_multi(counter.block, bounds, **settings)
        return front.objectives_array()
    return run


def run_pymoo(make_algorithm):
    def run(problem, counter, seed):
        from pymoo.core.problem import Problem as PymooProblem
        from pymoo.optimize import minimize

        class Wrapped(PymooProblem):
            def __init__(self):
                super().__init__(n_var=problem.dim, n_obj=problem.objectives, xl=problem.lower,
                                 xu=problem.upper)

            def _evaluate(self, x, out, *args, **kwargs):
                out["F"] = counter.block(x)

        result = minimize(Wrapped(), make_algorithm(problem), ("n_eval", problem.budget),
                          seed=seed, verbose=False)
        return result.F
    return run


def nsga2(problem):
    from pymoo.algorithms.moo.nsga2 import NSGA2
    return NSGA2(pop_size=PARTICLES)


def nsga3(problem):
    from pymoo.algorithms.moo.nsga3 import NSGA3
    from pymoo.util.ref_dirs import get_reference_directions
    partitions = {2: 99, 3: 12, 5: 6}.get(problem.objectives, 4)
    directions = get_reference_directions("das-dennis", problem.objectives,
                                          n_partitions=partitions)
    return NSGA3(ref_dirs=directions, pop_size=len(directions) + 1)


def mopso_cd(problem):
    from pymoo.algorithms.moo.mopso_cd import MOPSO_CD
    return MOPSO_CD(pop_size=PARTICLES, archive_size=PARTICLES)


def sms_emoa(problem):
    from pymoo.algorithms.moo.sms import SMSEMOA
    return SMSEMOA(pop_size=PARTICLES)


PEERS = {"nsga2": nsga2, "nsga3": nsga3, "mopso_cd": mopso_cd, "smsemoa": sms_emoa}


def algorithms(names, variants):
    chosen = {}
    for name in names:
        if name == "ours":
            chosen[name] = run_ours({})
        elif name == "robust":
            chosen[name] = run_ours({"preset": "robust"})
        else:
            chosen[name] = run_pymoo(PEERS[name])
    for variant in variants:
        keywords = {}
        for item in variant.split(","):
            key, value = item.split("=", 1)
            keywords[key.strip()] = ast.literal_eval(value.strip())
        chosen[variant] = run_ours(keywords)
    return chosen


# --- the table ------------------------------------------------------------------------------------

def parse_range(text):
    """"1-10,20" or, with a step, "1-55:5"."""
    values = []
    for part in text.split(","):
        part, _, step = part.partition(":")
        low, _, high = part.partition("-")
        values.extend(range(int(low), int(high or low) + 1, int(step or 1)))
    return values


def measure(problems, chosen, seeds, quiet):
    """Returns the problems, {algorithm: {problem name: [hypervolumes]}}, overheads, evaluation
    counts and {algorithm: {problem name: [final set sizes]}}."""
    volumes = {name: {} for name in chosen}
    overhead = {name: [] for name in chosen}
    counts = {name: [] for name in chosen}
    sizes = {name: {} for name in chosen}
    rows = []
    for problem in problems:
        rows.append(problem)
        for name, run in chosen.items():
            for seed in seeds:
                counter = Counter(problem)
                start = time.process_time()
                front = run(problem, counter, seed)
                total = time.process_time() - start
                volume = normalised_hypervolume(problem, front)
                volumes[name].setdefault(problem.name, []).append(volume)
                overhead[name].append((total - counter.seconds) / max(counter.evaluations, 1))
                counts[name].append(counter.evaluations)
                sizes[name].setdefault(problem.name, []).append(len(front))
        if not quiet:
            cells = "  ".join(f"{name}={statistics.mean(volumes[name][problem.name]):.4f}"
                              for name in chosen)
            print(f"{problem.name:<28}{cells}", file=sys.stderr, flush=True)
    return rows, volumes, overhead, counts, sizes


def mean_front_size(sizes, name, problems):
    """The mean final set size of `name` over `problems`; "-" for runs saved without sizes."""
    known = [v for p in problems for v in sizes.get(name, {}).get(p.name, [])]
    return f"{statistics.mean(known):.1f}" if known else "-"


def report(title, rows, volumes, overhead, counts, sizes, group):
    names = list(volumes)
    width = max(12, *(len(n) + 2 for n in names))
    print(f"\n{title}")
    groups = {}
    for problem in rows:
        groups.setdefault(group(problem), []).append(problem)
    print(f"{'':<14}" + "".join(f"{n:>{width}}" for n in names))
    for label, members in groups.items():
        means = {n: statistics.mean(v for p in members for v in volumes[n][p.name])
                 for n in names}
        print(f"{'mean ' + label:<14}" + "".join(f"{means[n]:>{width}.4f}" for n in names))
        # Wins: per function (instances averaged), the best mean; ties count for each.
        functions = {}
        for p in members:
            functions.setdefault(p.function, []).append(p)
        wins = dict.fromkeys(names, 0)
        for ps in functions.values():
            per = {n: statistics.mean(v for p in ps for v in volumes[n][p.name]) for n in names}
            best = max(per.values())
            for n in names:
                if per[n] >= best - 1e-12:
                    wins[n] += 1
        print(f"{'best of ' + str(len(functions)):<14}" + "".join(f"{wins[n]:>{width}}"
                                                              for n in names))
        print(f"{'front size':<14}" + "".join(
            f"{mean_front_size(sizes, n, members):>{width}}" for n in names))
    print(f"{'overhead µs':<14}" + "".join(f"{statistics.median(overhead[n]) * 1e6:>{width}.1f}"
                                          for n in names))
    print(f"{'evaluations':<14}" + "".join(f"{max(counts[n]):>{width}}" for n in names))


@dataclass
class SavedRow:
    name: str
    function: str
    dim: int


def save(path, rows, volumes, overhead, counts, sizes):
    if not path:
        return
    with open(path, "w") as out:
        json.dump({"rows": [[p.name, p.function, p.dim] for p in rows], "volumes": volumes,
                   "overhead": overhead, "counts": counts, "sizes": sizes}, out)


def print_saved(suite, paths):
    """Merges saved runs (the columns of every file, over the problems all columns measured) and
    prints the table."""
    rows, volumes, overhead, counts, sizes = {}, {}, {}, {}, {}
    for path in paths:
        with open(path) as source:
            saved = json.load(source)
        for row in saved["rows"]:
            rows.setdefault(row[0], SavedRow(*row))
        for name, per_problem in saved["volumes"].items():
            volumes.setdefault(name, {}).update(per_problem)
            overhead.setdefault(name, []).extend(saved["overhead"][name])
            counts.setdefault(name, []).extend(saved["counts"][name])
        for name, per_problem in saved.get("sizes", {}).items():
            sizes.setdefault(name, {}).update(per_problem)
    # Means and wins compare like with like: only the problems every column measured.
    rows = [row for row in rows.values()
            if all(row.name in per_problem for per_problem in volumes.values())]
    if not rows:
        sys.exit("the saved runs have no problem in common")
    if suite == "bbob":
        report("bbob-biobj, normalised hypervolume (reference 1), 10,000 evaluations", rows,
               volumes, overhead, counts, sizes, group=lambda p: f"D={p.dim}")
    else:
        print_dtlz(rows, volumes, overhead, counts, sizes)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("suite", choices=["bbob", "dtlz"])
    parser.add_argument("--algorithms", default="ours,robust,nsga2",
                        help="comma-separated: ours, robust, " + ", ".join(PEERS))
    parser.add_argument("--ours", action="append", default=[], metavar="KEY=VALUE,...",
                        help="a column of minimize_multi with these keywords")
    parser.add_argument("--dims", default="2,5,10", help="bbob: dimensions")
    parser.add_argument("--functions", default="1-55", help="bbob: function numbers, e.g. 1-10,20")
    parser.add_argument("--instances", default="1-3", help="bbob: instances")
    parser.add_argument("--box", type=float, default=5.0, help="bbob: search in [-box, box]^D")
    parser.add_argument("--problems", default="dtlz1,dtlz2,dtlz4,wfg4", help="dtlz: problems")
    parser.add_argument("--objectives", default="3,5", help="dtlz: objective counts")
    parser.add_argument("--seeds", default="1", help="seeds per problem, e.g. 1-3")
    parser.add_argument("--quiet", action="store_true", help="no progress lines on stderr")
    parser.add_argument("--save", metavar="FILE", help="write every measured value as JSON")
    parser.add_argument("--table", nargs="+", metavar="FILE",
                        help="print the table of saved runs (merged), measuring nothing")
    args = parser.parse_args()
    if args.table:
        print_saved(args.suite, args.table)
        return

    names = [n for n in args.algorithms.split(",") if n]
    chosen = algorithms(names, args.ours)
    seeds = parse_range(args.seeds)
    if args.suite == "bbob":
        problems = bbob_problems(parse_range(args.dims), set(parse_range(args.functions)),
                                 parse_range(args.instances), args.box)
        result = measure(problems, chosen, seeds, args.quiet)
        save(args.save, *result)
        report("bbob-biobj, normalised hypervolume (reference 1), 10,000 evaluations", *result,
               group=lambda p: f"D={p.dim}")
    else:
        problems = dtlz_problems(args.problems.split(","), parse_range(args.objectives))
        result = measure(problems, chosen, seeds, args.quiet)
        save(args.save, *result)
        print_dtlz(*result)


def print_dtlz(rows, volumes, overhead, counts, sizes):
    print("\nDTLZ / WFG, normalised hypervolume (reference 1.1), 23,092 evaluations")
    names = list(volumes)
    width = max(12, *(len(n) + 2 for n in names))
    print(f"{'':<14}" + "".join(f"{n:>{width}}" for n in names))
    for p in rows:
        print(f"{p.name:<14}" + "".join(
            f"{statistics.mean(volumes[n][p.name]):>{width}.4f}" for n in names))
    print(f"{'front size':<14}" + "".join(
        f"{mean_front_size(sizes, n, rows):>{width}}" for n in names))
    print(f"{'overhead µs':<14}" + "".join(
        f"{statistics.median(overhead[n]) * 1e6:>{width}.1f}" for n in names))
    print(f"{'evaluations':<14}" + "".join(f"{max(counts[n]):>{width}}" for n in names))


if __name__ == "__main__":
    main()
