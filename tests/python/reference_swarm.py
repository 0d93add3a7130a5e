"""An independent, pure-Python model of corvalinth's single-objective swarm.

It follows the documented rules step by step, written for reading rather than speed, so that
seeded runs of the native library can be compared with it bit for bit. Python floats are IEEE
doubles and every operation below rounds on its own, in the grouping written, which is what the
library promises too.

Entry points: ``minimize`` and ``minimize_grey`` with the keyword names of the library's
functions, limited to what a seeded, reproducible run uses: no wall-clock budget.
"""

import functools
import math

from reference_common import (INF, IntegerSpace, Rng, build_space, callback_stops, fmax, fmin,
                              is_better, make_velocity_rule, minimum_rule, points_of,
                              saturate_i64, total_violation)

# ---------------------------------------------------------------------------------------------
# The grey space (the generator, the other spaces and the rules are in reference_common.py)
# ---------------------------------------------------------------------------------------------


def _clamp(v, a, b):
    if v < a:
        return a
    if v > b:
        return b
    return v


class GreySpace:
    """Each grey variable is searched as (center, spread); moves are projected, not policed."""

    integer_args = False
    outside = 0  # coordinates that the projection changed so far

    def __init__(self, bounds, max_spread):
        assert len(bounds) == len(max_spread)
        self.bounds = [(float(lo), float(hi)) for lo, hi in bounds]
        self.max_spread = [float(m) for m in max_spread]

    def _room(self, i, c):
        lo, hi = self.bounds[i]
        return fmax(0.0, fmin(fmin(c - lo, hi - c), self.max_spread[i]))

    def init_position(self, rng):
        position = []
        for i, (lo, hi) in enumerate(self.bounds):
            c = rng.uniform_closed(lo, hi)
            s = rng.uniform_closed(0.0, self._room(i, c))
            position += [c, s]
        return position

    def init_velocity(self, rng):
        velocity = []
        for i, (lo, hi) in enumerate(self.bounds):
            w = hi - lo
            velocity.append(rng.uniform_closed(-w, w))
            a = fmax(0.0, fmin(w * 0.5, self.max_spread[i]))
            velocity.append(rng.uniform_closed(-a, a))
        return velocity

    def enforce_bounds(self, position, velocity, mode, rng):
        for i, (lo, hi) in enumerate(self.bounds):
            c = _clamp(position[2 * i], lo, hi)
            s = _clamp(position[2 * i + 1], 0.0, self._room(i, c))
            self.outside += (c != position[2 * i]) + (s != position[2 * i + 1])
            position[2 * i] = c
            position[2 * i + 1] = s

    def decode(self, position):
        return [(position[2 * i], abs(position[2 * i + 1])) for i in range(len(self.bounds))]


# ---------------------------------------------------------------------------------------------
# Topologies
# ---------------------------------------------------------------------------------------------


class GlobalTopology:
    def neighbours(self, i, n):
        return list(range(n))


class RingTopology:
    def __init__(self, k=1):
        self.k = k

    def neighbours(self, i, n):
        out = [i]
        for h in range(1, self.k + 1):
            e = h % n
            if e == 0:
                continue
            for j in ((i + e) % n, (i + n - e) % n):
                if j not in out:
                    out.append(j)
        return out


class VonNeumannTopology:
    def __init__(self, n):
        self.rows = int(math.sqrt(float(n))) or 1
        self.cols = n // self.rows + (1 if n % self.rows else 0)
        assert self.rows >= 1 and self.cols >= 1

    def neighbours(self, i, n):
        rows, cols = self.rows, self.cols
        r, c = i // cols, i % cols
        out = [i]
        for rr, cc in (((r + rows - 1) % rows, c), ((r + 1) % rows, c),
                       (r, (c + cols - 1) % cols), (r, 0 if c + 1 == cols else c + 1)):
            j = rr * cols + cc
            if j < n and j not in out:
                out.append(j)
        return out


class RandomTopology:
    def __init__(self, k, seed):
        assert k >= 1
        self.k = k
        self.rng = Rng(seed)

    def neighbours(self, i, n):
        m = min(self.k, n - 1)
        out = [i]
        while len(out) <= m:
            j = self.rng.below(n)
            if j not in out:
                out.append(j)
        return out


def make_topology(name, n_particles, seed):
    if name == "global":
        return GlobalTopology()
    if name == "ring":
        return RingTopology(1)
    if name in ("vonneumann", "von_neumann"):
        return VonNeumannTopology(n_particles)
    if name == "random":
        return RandomTopology(3, 0 if seed is None else seed)
    raise ValueError(name)


# ---------------------------------------------------------------------------------------------
# Native benchmarks, formula by formula
# ---------------------------------------------------------------------------------------------

PI = 3.141592653589793
TWO_PI = 6.283185307179586
E = 2.718281828459045


def sphere(x):
    s = -0.0
    for v in x:
        s = s + v * v
    return s


def rastrigin(x):
    s = -0.0
    for v in x:
        s = s + (v * v - math.cos(TWO_PI * v) * 10.0)
    return float(len(x)) * 10.0 + s


def ackley(x):
    n = float(len(x))
    s1 = -0.0
    s2 = -0.0
    for v in x:
        s1 = s1 + v * v
        s2 = s2 + math.cos(TWO_PI * v)
    if len(x) == 0:
        return math.nan
    return (((-20.0) * math.exp(-0.2 * math.sqrt(s1 / n))) - math.exp(s2 / n)) + 20.0 + E


def levy(x):
    n = len(x)
    if n == 0:
        return 0.0
    w = [(v - 1.0) * 0.25 + 1.0 for v in x]
    d = -0.0
    for i in range(n - 1):
        t = math.sin(PI * w[i] + 1.0)
        d = d + (w[i] - 1.0) * (w[i] - 1.0) * (t * t * 10.0 + 1.0)
    first = math.sin(PI * w[0])
    last = math.sin(TWO_PI * w[n - 1])
    return (first * first + d) + (w[n - 1] - 1.0) * (w[n - 1] - 1.0) * (last * last + 1.0)


def expanded_schaffer(x):
    n = len(x)
    if n == 0:
        return 0.0

    def g(a, b):
        t = a * a * 2.0 if n == 1 else b * b + a * a
        s = math.sin(math.sqrt(t))
        q = 0.001 * t + 1.0
        return (s * s - 0.5) / (q * q) + 0.5

    total = g(x[0], x[1 % n])
    for i in range(1, n):
        total = total + g(x[i], x[(i + 1) % n])
    return total


NATIVE = {"sphere": sphere, "rastrigin": rastrigin, "ackley": ackley, "levy": levy,
          "expanded_schaffer": expanded_schaffer}


def grey_sphere(pairs):
    s = -0.0
    for c, spread in pairs:
        s = s + (c * c + spread)
    return s


# ---------------------------------------------------------------------------------------------
# Objectives as the run loop sees them
# ---------------------------------------------------------------------------------------------


class Constraints:
    """Repair, inequality and equality constraints and their penalty, as the objectives apply them.

    The penalised value is f + penalty * v, v the sum of max(0, g)**2 over the inequalities and
    h**2 over the equalities in that order (a NaN g counts as satisfied); a point with v == 0 keeps
    f itself. The reported violation sums max(0, g) and max(0, |h| - tol) instead, a NaN value
    counting as inf.
    """

    def __init__(self, constraints=None, equality_constraints=None, penalty=1e6, repair=None,
                 equality_tol=1e-4, whole_numbers=False):
        self.inequalities = list(constraints or [])
        self.equalities = list(equality_constraints or [])
        self.penalty = penalty
        self.repair = repair
        self.tol = equality_tol
        self.whole_numbers = whole_numbers  # repaired values truncated toward zero

    def repaired(self, values):
        if self.whole_numbers:
            return [saturate_i64(float(v)) for v in values]
        return [float(v) for v in values]

    def penalised(self, f, g_values, h_values):
        v = 0.0
        for g in g_values:
            excess = g if g > 0.0 else 0.0
            v = v + excess * excess
        for h in h_values:
            v = v + h * h
        return f if v == 0.0 else f + self.penalty * v

    def violation(self, g_values, h_values):
        return total_violation(g_values, h_values, self.tol)


class Ranking:
    """How a run compares what its objective answers.

    Plain values (the penalty, or no constraints): numbers, smaller first, NaN last. By the
    feasibility rules each point is a pair (value, violation): a feasible point (violation 0)
    beats an infeasible one, two infeasible ones compare by violation, two feasible ones by value;
    equal violations fall to the value, each component ranking NaN last. Progress (stagnation and
    restarts): becoming feasible, or a fall of the violation by more than tol while infeasible, or
    of the value once feasible. The target is reached by a feasible point only; a restarted
    particle's best is the worst rank, (inf, inf).
    """

    def __init__(self, feasibility):
        self.feasibility = feasibility
        self.worst = (INF, INF) if feasibility else INF

    def better(self, a, b):
        if not self.feasibility:
            return is_better(a, b)
        if is_better(a[1], b[1]):
            return True
        if is_better(b[1], a[1]):
            return False
        return is_better(a[0], b[0])

    def best_of(self, indices, ranks):
        best = indices[0]
        for j in indices[1:]:
            if self.better(ranks[j], ranks[best]):
                best = j
        return best

    def value(self, rank):
        return rank[0] if self.feasibility else rank

    def violation(self, rank):
        return rank[1] if self.feasibility else 0.0

    def improved(self, previous, now, tol):
        if not self.feasibility:
            return previous - now > tol
        if now[1] == 0.0:
            return previous[1] != 0.0 or previous[0] - now[0] > tol
        return previous[1] - now[1] > tol

    def reaches(self, target, rank):
        return target >= self.value(rank) and self.violation(rank) == 0.0


PLAIN = Ranking(False)


class PointObjective:
    """One decoded point in, one value out: a native formula or a Python callable."""

    def __init__(self, objective, constraints=None):
        self.native = NATIVE[objective] if isinstance(objective, str) else None
        self.objective = objective
        self.constraints = constraints or Constraints()

    def point(self, decoded):
        c = self.constraints
        p = [int(v) for v in decoded] if c.whole_numbers else list(decoded)
        return p if c.repair is None else c.repaired(c.repair(p))

    def evaluate(self, point):
        if self.native is not None:
            return self.native([float(v) for v in point])
        p = self.point(point)
        f = float(self.objective(p))
        c = self.constraints
        g_values = [float(g(p)) for g in c.inequalities]
        h_values = [float(h(p)) for h in c.equalities]
        if self.ranked:
            return (f, c.violation(g_values, h_values))
        return c.penalised(f, g_values, h_values)

    ranked = False  # answers (value, violation) pairs for a run ranked by feasibility

    def violation_at(self, position):
        c = self.constraints
        p = [int(v) for v in position] if c.whole_numbers else list(position)
        return c.violation([float(g(list(p))) for g in c.inequalities],
                           [float(h(list(p))) for h in c.equalities])


class BatchObjective:
    def __init__(self, objective, constraints=None):
        self.objective = objective
        self.constraints = constraints or Constraints()

    def array(self, rows, dim):
        import numpy as np

        array = np.array(rows, dtype=np.float64).reshape(len(rows), dim)
        c = self.constraints
        if c.repair is None:
            return array
        repaired = [[float(v) for v in c.repaired(row)] for row in np.asarray(c.repair(array))]
        return np.array(repaired, dtype=np.float64).reshape(len(rows), dim)

    def evaluate_batch(self, space, positions):
        rows = [[float(v) for v in space.decode(p)] for p in positions]
        array = self.array(rows, len(space.bounds))
        values = [float(v) for v in self.objective(array)]
        assert len(values) == len(positions)
        c = self.constraints
        g_rows = [[float(v) for v in g(array)] for g in c.inequalities]
        h_rows = [[float(v) for v in h(array)] for h in c.equalities]
        if self.ranked:
            return [(f, c.violation([g[i] for g in g_rows], [h[i] for h in h_rows]))
                    for i, f in enumerate(values)]
        return [c.penalised(f, [g[i] for g in g_rows], [h[i] for h in h_rows])
                for i, f in enumerate(values)]

    ranked = False  # as PointObjective.ranked

    def point(self, decoded):
        return [float(v) for v in self.array([[float(v) for v in decoded]], len(decoded))[0]]

    def violation_at(self, position):
        import numpy as np

        c = self.constraints
        row = np.array([position], dtype=np.float64)
        return c.violation([float(g(row.copy())[0]) for g in c.inequalities],
                           [float(h(row.copy())[0]) for h in c.equalities])


class GreyBatchObjective:
    """The vectorised grey objective: an (n, variables, 2) array of shown pairs, one value per row."""

    def __init__(self, objective, center_spread):
        self.objective = objective
        self.center_spread = center_spread

    def evaluate_batch(self, space, positions):
        import numpy as np

        rows = []
        for p in positions:
            pairs = space.decode(p)
            rows.append([(c, s) if self.center_spread else (c - s, c + s) for c, s in pairs])
        array = np.array(rows, dtype=np.float64).reshape(len(positions), len(space.bounds), 2)
        values = [float(v) for v in self.objective(array)]
        assert len(values) == len(positions)
        return values


class GreyObjective:
    def __init__(self, objective, representation):
        self.objective = objective
        self.center_spread = representation in ("center_spread", "center-spread")

    def evaluate(self, pairs):
        if self.objective == "grey_sphere":
            return grey_sphere(pairs)
        if self.center_spread:
            arg = [(c, s) for c, s in pairs]
        else:
            arg = [(c - s, c + s) for c, s in pairs]
        return float(self.objective(arg))


# ---------------------------------------------------------------------------------------------
# The run loop
# ---------------------------------------------------------------------------------------------


class Result:
    def __init__(self, **fields):
        self.__dict__.update(fields)


def move_particle(i, space, rule, topology, rng, positions, velocities, best_positions,
                  best_values, v_max, bounds_handling, ranking=None):
    """Velocity update from the bests as they are now, optional clamp, position update, bounds."""
    n = len(positions)
    hood = topology.neighbours(i, n)
    b = (ranking or PLAIN).best_of(hood, best_values)
    informants = [list(best_positions[j]) for j in hood] if rule.uses_informants else []
    new_v = rule.update(positions[i], velocities[i], best_positions[i],
                        list(best_positions[b]), informants, rng)
    if v_max is not None and len(new_v) > 0:
        for d, c in enumerate(new_v):
            if c < -v_max:
                c = -v_max
            if c > v_max:
                c = v_max
            new_v[d] = c
    x = positions[i]
    for d in range(len(x)):
        x[d] = x[d] + new_v[d]
    velocities[i] = new_v
    space.enforce_bounds(x, velocities[i], bounds_handling, rng)


def local_phase_plan(n, max_iter, max_evals, share):
    """(budget, handover): the budget is the smaller of max_evals and (max_iter + 1) n, saturated
    at 2^64 - 1; the phase keeps floor(share * budget) of it (in doubles, at most the budget)."""
    budget = min((max_iter + 1) * n, 2**64 - 1)
    if max_evals is not None:
        budget = min(budget, max_evals)
    kept = math.floor(share * float(budget))
    return budget, budget - min(budget, kept)


def nelder_mead(x0, f0, widths, clip, better=is_better):
    """The local search as a generator of rounds: it yields the list of points to evaluate and
    is sent their values, in order. Every comparison of two values is `better`, the run's ranking:
    the minimum rule on plain values, or the feasibility rules' order of (value, violation) pairs
    (violation first, then value, NaN last in each)."""
    n = len(x0)

    def first_simplex(base):
        points = []
        for k in range(n):
            p = list(base)
            p[k] = base[k] + 0.05 * widths[k]
            clip(p)
            if p[k] == base[k]:
                p[k] = base[k] - 0.05 * widths[k]
                clip(p)
            points.append(p)
        return points

    xs, fs = [list(x0)], [f0]
    points = first_simplex(xs[0])
    values = yield points
    xs, fs = xs + points, fs + values
    while True:
        order = sorted(range(n + 1), key=functools.cmp_to_key(
            lambda a, b: -1 if better(fs[a], fs[b]) else 1 if better(fs[b], fs[a]) else 0))
        xs, fs = [xs[j] for j in order], [fs[j] for j in order]
        tolerance = 1e-12 * max([1.0] + [abs(c) for c in xs[0]])
        if all(abs(x[d] - xs[0][d]) <= tolerance for x in xs[1:] for d in range(n)):
            points = first_simplex(xs[0])
            values = yield points
            xs, fs = [xs[0]] + points, [fs[0]] + values
            continue
        centroid = []
        for d in range(n):
            total = xs[0][d]
            for j in range(1, n):
                total = total + xs[j][d]
            centroid.append(total / float(n))

        def along(t):
            p = [centroid[d] + t * (centroid[d] - xs[n][d]) for d in range(n)]
            clip(p)
            return p

        r = along(1.0)
        (fr,) = yield [r]
        shrink = False
        if better(fr, fs[0]):
            e = along(2.0)
            (fe,) = yield [e]
            xs[n], fs[n] = (e, fe) if better(fe, fr) else (r, fr)
        elif better(fr, fs[n - 1]):
            xs[n], fs[n] = r, fr
        elif better(fr, fs[n]):
            o = along(0.5)
            (fo,) = yield [o]
            if better(fr, fo):
                shrink = True
            else:
                xs[n], fs[n] = o, fo
        else:
            i = along(-0.5)
            (fi,) = yield [i]
            if better(fi, fs[n]):
                xs[n], fs[n] = i, fi
            else:
                shrink = True
        if shrink:
            points = []
            for x in xs[1:]:
                p = [xs[0][d] + 0.5 * (x[d] - xs[0][d]) for d in range(n)]
                clip(p)
                points.append(p)
            values = yield points
            xs, fs = [xs[0]] + points, [fs[0]] + values


def clip_into(bounds):
    def clip(p):
        for d, (lo, hi) in enumerate(bounds):
            if p[d] < lo:
                p[d] = lo
            elif p[d] > hi:
                p[d] = hi
    return clip


def run(space, rule, topology, objective, *, n_particles, max_iter, seed, record_history=True,
        v_max=None, patience=0, tol=0.0, max_evals=None, target=None, bounds_handling="clamp",
        batch=False, callback=None, x0=(), restart_patience=0, restart_tol=0.0,
        restart_spread=1.0, ranking=None, local_search=None, local_search_share=0.2):
    ranking = ranking or PLAIN
    rng = Rng(seed)
    n = n_particles
    positions, velocities, best_positions, best_values = [], [], [], []
    evaluations = 0
    for i in range(n):
        x = space.init_position(rng)
        v = space.init_velocity(rng)
        if i < len(x0):
            # a warm start replaces the drawn position after both draws
            x = [float(c) for c in x0[i]]
        positions.append(x)
        velocities.append(v)
        best_positions.append(list(x))
        if batch:
            best_values.append(ranking.worst)
        else:
            best_values.append(objective.evaluate(space.decode(x)))
            evaluations += 1
    if batch:
        values = objective.evaluate_batch(space, positions)
        for i, value in enumerate(values[:n]):
            best_values[i] = value
        evaluations = len(values)

    g = ranking.best_of(list(range(n)), best_values)
    gbest_value = best_values[g]
    gbest_position = list(best_positions[g])

    history, convergence = [], []
    prev_best = gbest_value
    stall = 0
    reason = "max_iterations"
    # restarts: the swarm's own best and its count of stalled iterations
    swarm_previous = ranking.worst
    swarm_stalled = 0

    def update_bests(i, value):
        nonlocal gbest_value, gbest_position
        if ranking.better(value, best_values[i]):
            best_values[i] = value
            best_positions[i] = list(positions[i])
            if ranking.better(value, gbest_value):
                gbest_value = value
                gbest_position = list(positions[i])

    budget, handover = local_phase_plan(n, max_iter, max_evals, local_search_share)

    def stop_after_iteration():
        # The stop tests after an iteration (a round of the local phase is one), in their order.
        nonlocal stall, prev_best
        if callback is not None and callback_stops(callback(t, ranking.value(gbest_value))):
            return "callback"
        if patience > 0:
            stall = 0 if ranking.improved(prev_best, gbest_value, tol) else stall + 1
            prev_best = gbest_value
            if stall >= patience:
                return "stagnation"
        if target is not None and ranking.reaches(target, gbest_value):
            return "target"
        if max_evals is not None and evaluations >= max_evals:
            return "max_evaluations"
        return None

    def local_phase_due():
        return (local_search is not None and len(gbest_position) > 0
                and handover <= evaluations < budget)

    local = max_iter > 0 and local_phase_due()
    t = 0
    while t < max_iter and not local:
        if record_history:
            history.append([list(p) for p in positions])
        for i in range(n):
            move_particle(i, space, rule, topology, rng, positions, velocities, best_positions,
                          best_values, v_max, bounds_handling, ranking)
            x = positions[i]
            if not batch:
                update_bests(i, objective.evaluate(space.decode(x)))
                evaluations += 1
        if batch:
            values = objective.evaluate_batch(space, positions)
            assert len(values) == n
            for i in range(n):
                update_bests(i, values[i])
            evaluations += n
        if record_history:
            convergence.append(ranking.value(gbest_value))

        stopped = stop_after_iteration()
        if stopped is not None:
            reason = stopped
            break
        t += 1
        if t < max_iter and local_phase_due():
            local = True
            break
        if t < max_iter and restart_patience > 0:
            swarm_best = best_values[ranking.best_of(list(range(n)), best_values)]
            if ranking.improved(swarm_previous, swarm_best, restart_tol):
                swarm_stalled = 0
            else:
                swarm_stalled += 1
            swarm_previous = swarm_best
            if swarm_stalled >= restart_patience:
                # every particle draws anew (position, then velocity) and forgets its best;
                # the global best stays the best ever seen
                for i in range(n):
                    x = space.init_position(rng)
                    v = space.init_velocity(rng)
                    if restart_spread != 1.0:
                        # drawn around the best ever: g + (x - g) s, v s
                        g = gbest_position
                        x = [g[d] + (x[d] - g[d]) * restart_spread for d in range(len(x))]
                        v = [c * restart_spread for c in v]
                    positions[i] = x
                    velocities[i] = v
                    best_positions[i] = list(x)
                    best_values[i] = ranking.worst
                swarm_previous = ranking.worst
                swarm_stalled = 0

    if local:
        # The final local phase: the swarm rests; every round of the search is an iteration.
        search = nelder_mead(gbest_position, gbest_value, [hi - lo for lo, hi in space.bounds],
                             clip_into(space.bounds), ranking.better)
        points = next(search)
        while True:
            if record_history:
                history.append([list(p) for p in positions])
            points = points[:budget - evaluations]
            if batch:
                values = objective.evaluate_batch(space, points)
            else:
                values = [objective.evaluate(space.decode(p)) for p in points]
            for p, value in zip(points, values):
                evaluations += 1
                if ranking.better(value, gbest_value):
                    gbest_value, gbest_position = value, list(p)
            if record_history:
                convergence.append(ranking.value(gbest_value))
            stopped = stop_after_iteration()
            if stopped is not None:
                reason = stopped
                break
            t += 1
            if evaluations >= budget:
                reason = "max_iterations"
                break
            points = search.send(values)

    return Result(best_position=space.decode(gbest_position),
                  best_value=ranking.value(gbest_value), violation=ranking.violation(gbest_value),
                  history=history, convergence=convergence, evaluations=evaluations,
                  stop_reason=reason, outside=space.outside)


def run_asynchronous(space, rule, topology, objective, events, *, n_particles, max_iter, seed,
                     record_history=True, v_max=None, patience=0, tol=0.0, max_evals=None,
                     target=None, bounds_handling="clamp", x0=()):
    """The asynchronous run driven by `events`: None asks, a ticket tells that ticket's value.

    The rule: tickets count the asks from 0. While the swarm is created, ask k creates particle
    k with the draws of the synchronous creation, and a tell sets that particle's personal best.
    The tell that completes the creation picks the global best, ends the pass (history snapshot)
    and moves every particle in index order; they wait to be asked in that order. Afterwards
    ask hands out the particle that waited longest, drawing nothing. A tell counts the
    evaluation and updates the particle's and the global best at once; when it is the n-th tell
    since the pass began it ends the iteration (convergence, stop tests, snapshot); if the run
    goes on, the particle then moves at once, reading the bests as they are, and waits last.
    """
    rng = Rng(seed)
    n = n_particles
    positions, velocities, best_positions = [None] * n, [None] * n, [None] * n
    best_values = [INF] * n
    created, told, evaluations, t = 0, 0, 0, 0
    in_flight, ready, history, convergence = {}, [], [], []
    phase, reason = "starting", "max_iterations"
    gbest_value, gbest_position, prev_best, stall = None, None, None, 0

    def move(i):
        move_particle(i, space, rule, topology, rng, positions, velocities, best_positions,
                      best_values, v_max, bounds_handling)

    def stop_test():
        nonlocal prev_best, stall
        if patience > 0:
            stall = 0 if prev_best - gbest_value > tol else stall + 1
            prev_best = gbest_value
            if stall >= patience:
                return "stagnation"
        if target is not None and target >= gbest_value:
            return "target"
        if max_evals is not None and evaluations >= max_evals:
            return "max_evaluations"
        return "max_iterations" if t >= max_iter else None

    next_ticket = 0
    for event in events:
        assert phase != "finished", "an event after the run finished"
        if event is None:
            if phase == "starting":
                i = created
                assert i < n, "no particle to hand out"
                positions[i] = space.init_position(rng)
                velocities[i] = space.init_velocity(rng)
                if i < len(x0):
                    positions[i] = [float(c) for c in x0[i]]
                best_positions[i] = list(positions[i])
                created += 1
            else:
                i = ready.pop(0)
            in_flight[next_ticket] = (i, space.decode(positions[i]))
            next_ticket += 1
            continue
        i, point = in_flight.pop(event)
        value = objective(point)
        evaluations += 1
        told += 1
        if phase == "starting":
            best_values[i] = value
            if told < n:
                continue
            told = 0
            g = minimum_rule(list(range(n)), best_values)
            gbest_value, gbest_position = best_values[g], list(best_positions[g])
            prev_best = gbest_value
            if max_iter == 0:
                phase = "finished"
                continue
            phase = "iterating"
            if record_history:
                history.append([list(p) for p in positions])
            for j in range(n):
                move(j)
            ready = list(range(n))
            continue
        if is_better(value, best_values[i]):
            best_values[i] = value
            best_positions[i] = list(positions[i])
            if is_better(value, gbest_value):
                gbest_value, gbest_position = value, list(positions[i])
        if told == n:
            told = 0
            t += 1
            if record_history:
                convergence.append(gbest_value)
            stopped = stop_test()
            if stopped is not None:
                phase, reason = "finished", stopped
                continue
            if record_history:
                history.append([list(p) for p in positions])
        move(i)
        ready.append(i)

    assert phase == "finished", "the events end before the run does"
    return Result(best_position=space.decode(gbest_position), best_value=gbest_value,
                  history=history, convergence=convergence, evaluations=evaluations,
                  stop_reason=reason, iterations=t)


# ---------------------------------------------------------------------------------------------
# Front ends with the library's keyword names and defaults
# ---------------------------------------------------------------------------------------------


# What preset="robust" sets when the call does not pass the setting.
ROBUST = {"n_particles": 20, "w": 0.6, "c1": 1.7, "c2": 1.7, "bounds_handling": "reflect",
          "restart_patience": 50, "local_search": "nelder-mead"}


def _grey_points(x0):
    if x0 is None:
        return []
    x0 = list(x0)
    first = list(x0[0])
    return [x0] if not hasattr(first[0], "__len__") else x0


def _grey_position(pairs, center_spread):
    """A grey vector shown as pairs, as the swarm's (center, spread) coordinates."""
    position = []
    for a, b in pairs:
        a, b = float(a), float(b)
        position += [a, b] if center_spread else [(a + b) * 0.5, (b - a) * 0.5]
    return position


def _pairs(bounds, dim):
    if isinstance(bounds, tuple) and len(bounds) == 2 and not isinstance(bounds[0], (tuple, list)):
        return [(float(bounds[0]), float(bounds[1]))] * dim
    return [(float(lo), float(hi)) for lo, hi in bounds]


def minimize(objective, bounds, preset=None, **settings):
    """A seeded run (see `run_minimize`); preset="robust" first fills the settings the call does
    not pass, and a budget without a passed max_iter bounds the run alone."""
    if preset == "robust":
        robust = dict(ROBUST)
        if settings.get("constraint_handling") == "feasibility":
            del robust["local_search"]  # left out under the feasibility rules
        settings = {**robust, **settings}
        if settings.get("max_evals") is not None and "max_iter" not in settings:
            settings["max_iter"] = 2**64 - 1
    return run_minimize(objective, bounds, **settings)


def run_minimize(objective, bounds, integer=False, n_particles=30, max_iter=100, w=0.729,
                 c1=1.49445, c2=1.49445, velocity="inertia", topology="global", seed=None,
                 record_history=True, v_max=None, patience=0, tol=0.0, binary=False,
                 max_evals=None, target=None, callback=None, bounds_handling="clamp",
                 vectorized=False, var_types=None, dim=None, x0=None, restart_patience=0,
                 restart_tol=0.0, restart_spread=1.0, constraints=None, equality_constraints=None,
                 penalty=1e6, repair=None, equality_tol=1e-4, constraint_handling="penalty",
                 local_search=None, local_search_share=0.2):
    assert seed is not None, "the model reproduces seeded runs only"
    space = build_space(_pairs(bounds, dim), integer, binary, var_types)
    rule = make_velocity_rule(velocity, w, c1, c2)
    topo = make_topology(topology, n_particles, seed)
    rules = Constraints(constraints, equality_constraints, penalty, repair, equality_tol,
                        whole_numbers=isinstance(space, IntegerSpace))
    objective_adapter = (BatchObjective(objective, rules) if vectorized
                         else PointObjective(objective, rules))
    # without constraints every point is feasible: the plain ranking is the same run
    ranked = constraint_handling == "feasibility" and bool(rules.inequalities or rules.equalities)
    objective_adapter.ranked = ranked
    result = run(space, rule, topo, objective_adapter, n_particles=n_particles,
                 max_iter=max_iter, seed=seed, record_history=record_history, v_max=v_max,
                 patience=patience, tol=tol, max_evals=max_evals, target=target,
                 bounds_handling=bounds_handling, batch=vectorized, callback=callback,
                 x0=points_of(x0), restart_patience=restart_patience,
                 restart_tol=restart_tol, restart_spread=restart_spread, ranking=Ranking(ranked),
                 local_search=local_search, local_search_share=local_search_share)
    if isinstance(space, IntegerSpace):
        result.best_position = space.result_position(result.best_position)
    if repair is not None:
        # the reported position is repaired once more, like every evaluated point
        result.best_position = [float(v) for v in objective_adapter.point(result.best_position)]
    result.violation = objective_adapter.violation_at(result.best_position)
    result.feasible = result.violation == 0.0
    return result


def minimize_asynchronous(objective, bounds, events, integer=False, n_particles=30, max_iter=100,
                          w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", topology="global",
                          seed=None, record_history=True, v_max=None, patience=0, tol=0.0,
                          binary=False, max_evals=None, target=None, bounds_handling="clamp",
                          var_types=None, dim=None, x0=None):
    """An asynchronous Optimizer driven by `events` (see run_asynchronous), evaluating
    `objective` on the points it hands out."""
    assert seed is not None, "the model reproduces seeded runs only"
    space = build_space(_pairs(bounds, dim), integer, binary, var_types)
    result = run_asynchronous(
        space, make_velocity_rule(velocity, w, c1, c2), make_topology(topology, n_particles, seed),
        objective, events, n_particles=n_particles, max_iter=max_iter, seed=seed,
        record_history=record_history, v_max=v_max, patience=patience, tol=tol,
        max_evals=max_evals, target=target, bounds_handling=bounds_handling, x0=points_of(x0))
    if isinstance(space, IntegerSpace):
        result.best_position = space.result_position(result.best_position)
    return result


def minimize_grey(objective, bounds, max_spread=None, representation="interval",
                  n_particles=30, max_iter=100, w=0.729, c1=1.49445, c2=1.49445,
                  velocity="inertia", topology="global", seed=None, record_history=True,
                  v_max=None, patience=0, tol=0.0, max_evals=None, target=None, dim=None,
                  callback=None, vectorized=False, x0=None):
    assert seed is not None, "the model reproduces seeded runs only"
    pairs = _pairs(bounds, dim)
    if max_spread is None:
        caps = [INF] * len(pairs)
    elif isinstance(max_spread, (list, tuple)):
        caps = [float(m) for m in max_spread]
    else:
        caps = [float(max_spread)] * len(pairs)
    space = GreySpace(pairs, caps)
    rule = make_velocity_rule(velocity, w, c1, c2)
    topo = make_topology(topology, n_particles, seed)
    center_spread = representation in ("center_spread", "center-spread")
    adapter = (GreyBatchObjective(objective, center_spread) if vectorized
               else GreyObjective(objective, representation))
    result = run(space, rule, topo, adapter,
                 n_particles=n_particles, max_iter=max_iter, seed=seed,
                 record_history=record_history, v_max=v_max, patience=patience, tol=tol,
                 max_evals=max_evals, target=target, batch=vectorized, callback=callback,
                 x0=[_grey_position(p, center_spread) for p in _grey_points(x0)])
    pairs_out = result.best_position
    result.best_centers = [c for c, _ in pairs_out]
    result.best_spreads = [s for _, s in pairs_out]
    result.best_position = [(c - s, c + s) for c, s in pairs_out]
    return result
