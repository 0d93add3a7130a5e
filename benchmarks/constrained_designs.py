"""Penalties against the feasibility rules on two constrained engineering designs.

For the pressure vessel (mixed: two thicknesses in steps of 1/16 inch, two reals, four
inequalities; best known feasible cost 6059.714) and the welded beam (four reals, seven
inequalities; best known 1.724852), prints per setting (penalty weights, and
``constraint_handling="feasibility"``) the median best value over the seeds, how many runs ended
feasible (``PsoResult.feasible``), how many of those came within 0.1 % of the best known value,
the median violation and the median best value among the feasible runs. Every run has the same
budget of evaluations. Seeded runs are reproducible bit for bit, so the table is the same on
every machine.

    python benchmarks/constrained_designs.py [--seeds 10] [--particles 40] [--iterations 600]
                                             [--rst]
"""

import argparse
import math
import statistics

from _tables import print_table

import corvalinth as pso


def thicknesses(x):
    return x[0] * 0.0625, x[1] * 0.0625


def vessel_cost(x):
    ts, th = thicknesses(x)
    r, length = x[2], x[3]
    return (0.6224 * ts * r * length + 1.7781 * th * r * r + 3.1661 * ts * ts * length
            + 19.84 * ts * ts * r)


VESSEL = dict(
    objective=vessel_cost,
    bounds=[(1, 99), (1, 99), (10, 200), (10, 200)],
    var_types=["integer", "integer", "real", "real"],
    constraints=[
        lambda x: -thicknesses(x)[0] + 0.0193 * x[2],
        lambda x: -thicknesses(x)[1] + 0.00954 * x[2],
        lambda x: -math.pi * x[2] ** 2 * x[3] - 4 / 3 * math.pi * x[2] ** 3 + 1_296_000,
        lambda x: x[3] - 240,
    ],
)

# The welded beam in its usual form: weld thickness h, weld length l, bar height t, bar
# thickness b; shear stress, bending stress, buckling load and deflection limits.
P, L, E, G = 6000.0, 14.0, 30e6, 12e6


def beam_cost(x):
    h, length, t, b = x
    return 1.10471 * h * h * length + 0.04811 * t * b * (14.0 + length)


def shear_stress(x):
    h, length, t, _ = x
    tau1 = P / (math.sqrt(2) * h * length)
    m = P * (L + length / 2)
    r = math.sqrt(length * length / 4 + ((h + t) / 2) ** 2)
    j = 2 * (math.sqrt(2) * h * length * (length * length / 12 + ((h + t) / 2) ** 2))
    tau2 = m * r / j
    return math.sqrt(tau1 * tau1 + 2 * tau1 * tau2 * length / (2 * r) + tau2 * tau2)


def buckling_load(x):
    _, _, t, b = x
    return (4.013 * E * math.sqrt(t * t * b ** 6 / 36) / (L * L)
            * (1 - t / (2 * L) * math.sqrt(E / (4 * G))))


BEAM = dict(
    objective=beam_cost,
    bounds=[(0.1, 2.0), (0.1, 10.0), (0.1, 10.0), (0.1, 2.0)],
    constraints=[
        lambda x: shear_stress(x) - 13600.0,
        lambda x: 6 * P * L / (x[3] * x[2] ** 2) - 30000.0,
        lambda x: x[0] - x[3],
        lambda x: 0.10471 * x[0] ** 2 + 0.04811 * x[2] * x[3] * (14 + x[1]) - 5.0,
        lambda x: 0.125 - x[0],
        lambda x: 4 * P * L ** 3 / (E * x[2] ** 3 * x[3]) - 0.25,
        lambda x: P - buckling_load(x),
    ],
)

PROBLEMS = [("pressure vessel", VESSEL, 6059.714), ("welded beam", BEAM, 1.724852)]
FEASIBILITY = {"constraint_handling": "feasibility"}
SETTINGS = [
    ("defaults (penalty 1e6)", {}),
    ("penalty 1e10", {"penalty": 1e10}),
    ("penalty 1e10, ring", {"penalty": 1e10, "topology": "ring"}),
    ("penalty 1e10, von Neumann", {"penalty": 1e10, "topology": "vonneumann"}),
    ("feasibility rules", FEASIBILITY),
    ("feasibility rules, ring", {**FEASIBILITY, "topology": "ring"}),
    ("feasibility rules, von Neumann", {**FEASIBILITY, "topology": "vonneumann"}),
    ("feasibility rules, local phase", {**FEASIBILITY, "local_search": "nelder-mead"}),
    ("feasibility rules, von Neumann, local phase",
     {**FEASIBILITY, "topology": "vonneumann", "local_search": "nelder-mead"}),
    ("feasibility rules, robust preset", {**FEASIBILITY, "preset": "robust"}),
    ("feasibility rules, robust preset, local phase",
     {**FEASIBILITY, "preset": "robust", "local_search": "nelder-mead"}),
]


def measure(problem, settings, best, args):
    runs = [pso.minimize(**problem, n_particles=args.particles, max_iter=args.iterations,
                         seed=seed, record_history=False, **settings)
            for seed in range(args.seeds)]
    feasible = [r.best_value for r in runs if r.feasible]
    close = sum(value <= best * 1.001 for value in feasible)
    return (statistics.median(r.best_value for r in runs), len(feasible), close,
            statistics.median(r.violation for r in runs),
            statistics.median(feasible) if feasible else math.nan, runs[0].evaluations)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seeds", type=int, default=10)
    parser.add_argument("--particles", type=int, default=40)
    parser.add_argument("--iterations", type=int, default=600)
    parser.add_argument("--rst", action="store_true", help="print a reStructuredText table")
    args = parser.parse_args()
    header = ["problem (best known)", "setting", "median value", "feasible runs",
              "within 0.1 %", "median violation", "median feasible value", "evaluations"]
    rows = []
    for name, problem, best in PROBLEMS:
        for label, settings in SETTINGS:
            median, count, close, violation, feasible, evaluations = measure(
                problem, settings, best, args)
            rows.append([f"{name} ({best})", label, f"{median:.7g}", f"{count}/{args.seeds}",
                         f"{close}/{args.seeds}", f"{violation:.3g}",
                         "--" if math.isnan(feasible) else f"{feasible:.7g}", str(evaluations)])
    print_table(header, rows, rst=args.rst, separator=" | ")


if __name__ == "__main__":
    main()
