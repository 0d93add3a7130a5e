"""An independent pure-Python model of the multi-objective swarm, written from the documented rules.

It reproduces a seeded `minimize_multi` run bit for bit (Python floats are IEEE doubles and every
expression below keeps the documented order and grouping) and the hypervolume indicator with its
default reference point. The generator, the spaces, the bounds policies and the velocity rules are
the ones the single-objective model uses (``reference_common.py``); it shares no code with the
library.
"""

import math

from reference_common import (INF, MASK64, Rng, SpeedConstrained, build_space, callback_stops,
                              fmax, fmin, is_better, make_velocity_rule, points_of,
                              total_violation)


# --- Pareto archive ------------------------------------------------------------------------------

def dominates(a, b):
    better = False
    for x, y in zip(a, b):
        if x > y:
            return False
        if x < y:
            better = True
    return better


def constrained_dominates(a, a_violation, b, b_violation):
    """Constrained domination: a feasible point dominates an infeasible one, of two infeasible
    points the smaller violation dominates, and between equal violations (two feasible points
    among them) Pareto dominance decides. A NaN violation ranks after every number."""
    if is_better(a_violation, b_violation):
        return True
    if is_better(b_violation, a_violation):
        return False
    return dominates(a, b)


def same_vector(a, b):
    return len(a) == len(b) and all(x == y for x, y in zip(a, b))


def crowding_distances(front):
    n = len(front)
    if n == 0:
        return []
    if n <= 2:
        return [INF] * n
    m = len(front[0])
    dist = [0.0] * n
    for k in range(m):
        order = sorted(range(n), key=lambda i: front[i][k])
        dist[order[0]] = INF
        dist[order[-1]] = INF
        rng = front[order[-1]][k] - front[order[0]][k]
        if rng > 0:
            for j in range(1, n - 1):
                idx = order[j]
                dist[idx] = dist[idx] + (front[order[j + 1]][k] - front[order[j - 1]][k]) / rng
    return dist


def grid_coordinates(front, divisions):
    if not front:
        return []
    dd = max(divisions, 1)
    m = len(front[0])
    lower = [INF] * m
    upper = [-INF] * m
    for f in front:
        for k in range(m):
            v = f[k]
            if math.isnan(v):
                continue
            if v < lower[k]:
                lower[k] = v
            if v > upper[k]:
                upper[k] = v
    coords = []
    for f in front:
        c = []
        for k in range(m):
            rng = upper[k] - lower[k]
            if not rng > 0:
                c.append(0)
                continue
            t = float(dd) * ((f[k] - lower[k]) / rng)
            if math.isnan(t) or t < 0:
                q = 0
            elif t >= 18446744073709551616.0:
                q = MASK64
            else:
                q = int(t)
            c.append(min(q, dd - 1))
        coords.append(tuple(c))
    return coords


def grid_occupancy(coords):
    counts = {}
    for c in coords:
        counts[c] = counts.get(c, 0) + 1
    return [counts[c] for c in coords]


class Archive:
    def __init__(self, archive_size, grid_divisions=None, truncation="crowding"):
        self.size = archive_size
        self.grid = grid_divisions
        self.truncation = truncation
        self.contributions = contributions
        self.members = []  # list of (position, objectives)
        self.violations = []  # one per member
        self.cuts = 0  # how many members pruning has removed, for tests that need it to act

    def insert(self, position, objectives, violation=0.0):
        """Offers a point; constrained domination decides (plain Pareto dominance when every
        violation is 0)."""
        kept = list(zip(self.members, self.violations))
        if any(constrained_dominates(o, v, objectives, violation) for (_, o), v in kept):
            return
        kept = [(m, v) for m, v in kept
                if not constrained_dominates(objectives, violation, m[1], v)]
        self.members = [m for m, _ in kept]
        self.violations = [v for _, v in kept]
        if any(same_vector(o, objectives) for _, o in self.members):
            return
        self.members.append((list(position), list(objectives)))
        self.violations.append(violation)

    def cut_to(self, keep):
        self.members = [self.members[i] for i in keep]
        self.violations = [self.violations[i] for i in keep]

    def objectives(self):
        return [o for _, o in self.members]

    def prune_and_weigh(self):
        objective_count = len(self.members[0][1]) if self.members else 0
        if self.truncation == "hypervolume" and objective_count <= 3:
            while len(self.members) > self.size:
                front = self.objectives()
                reference = default_reference(front)
                share = self.contributions(front, reference)
                victim = 0
                for j, c in enumerate(share):
                    least = share[victim]
                    if (math.isnan(c) and not math.isnan(least)) or c < least:
                        victim = j
                self.cut_to([j for j in range(len(self.members)) if j != victim])
                self.cuts += 1
            return crowding_distances(self.objectives())
        if self.grid is None:  # crowding, also for the hypervolume cut beyond three objectives
            dist = crowding_distances(self.objectives())
            if len(self.members) > self.size:
                order = sorted(range(len(self.members)), key=lambda i: dist[i], reverse=True)
                keep = sorted(order[:self.size])
                self.cuts += len(self.members) - self.size
                self.cut_to(keep)
                dist = crowding_distances(self.objectives())
            return dist
        while len(self.members) > self.size:
            occ = grid_occupancy(grid_coordinates(self.objectives(), self.grid))
            top = max(occ)
            victim = max(i for i, c in enumerate(occ) if c == top)
            self.cut_to([j for j in range(len(self.members)) if j != victim])
            self.cuts += 1
        occ = grid_occupancy(grid_coordinates(self.objectives(), self.grid))
        return [1.0 / float(c) for c in occ]


# --- the run ------------------------------------------------------------------------------------

def polynomial_mutation(x, box, rng):
    """Every variable with probability 1 / D: a polynomial step of distribution index 20."""
    dims = len(x)
    for k in range(dims):
        if not rng.unit() < 1.0 / dims:
            continue
        r = rng.unit()
        lo, hi = box[k]
        width = hi - lo
        if not width > 0:
            continue
        if r <= 0.5:
            d1 = (x[k] - lo) / width
            q = math.pow(r * 2.0 + (1.0 - r * 2.0) * math.pow(1.0 - d1, 21.0), 1.0 / 21.0) - 1.0
        else:
            d2 = (hi - x[k]) / width
            q = 1.0 - math.pow((1.0 - r) * 2.0 + (r - 0.5) * 2.0 * math.pow(1.0 - d2, 21.0),
                               1.0 / 21.0)
        y = x[k] + q * width
        if y < lo:
            y = lo
        if y > hi:
            y = hi
        x[k] = y


def sbx_child(first, second, box, rng):
    """A child of two archive members: simulated binary crossover (distribution index 20), each
    dimension with probability 1/2 and one of its two children by a coin, then polynomial
    mutation."""
    def spread(room, gap, r):
        beta = 1.0 + ((room if room > 0.0 else 0.0) * 2.0) / gap
        alpha = 2.0 - math.pow(beta, -21.0)
        if r <= 1.0 / alpha:
            return math.pow(r * alpha, 1.0 / 21.0)
        return math.pow(1.0 / (2.0 - r * alpha), 1.0 / 21.0)

    child = []
    for k, (p, q) in enumerate(zip(first, second)):
        u = rng.unit()
        y1, y2 = (p, q) if p < q else (q, p)
        gap = y2 - y1
        if not u <= 0.5 or not gap > 1e-14:
            child.append(p)
            continue
        r = rng.unit()
        lo, hi = box[k]
        c1 = ((y1 + y2) - spread(y1 - lo, gap, r) * gap) * 0.5
        c2 = ((y1 + y2) + spread(hi - y2, gap, r) * gap) * 0.5
        c1 = hi if c1 > hi else (lo if c1 < lo else c1)
        c2 = hi if c2 > hi else (lo if c2 < lo else c2)
        child.append(c2 if rng.next_u32() >> 31 else c1)
    polynomial_mutation(child, box, rng)
    return child


def differential_child(base, first, second, box, rng):
    """A child of a leader and two personal bests: base[k] + (first[k] - second[k]) * 0.5 in every
    dimension, limited to the box, then polynomial mutation."""
    child = []
    for k, (b, p, q) in enumerate(zip(base, first, second)):
        lo, hi = box[k]
        c = b + (p - q) * 0.5
        if c < lo:
            c = lo
        if c > hi:
            c = hi
        child.append(c)
    polynomial_mutation(child, box, rng)
    return child


def nondominated_survivors(vectors, violations, keep):
    """The indices of the `keep` candidates the population step keeps, ascending: whole fronts of
    non-dominated sorting (constrained domination; a front lists its candidates by index) while
    they fit, then from the first front that does not fit the largest crowding distances (a NaN
    distance last, equal distances by index). Candidates left on no front, which only a cycle of
    domination through NaN components leaves, form one last front."""
    remaining = list(range(len(vectors)))
    survivors = []
    while len(survivors) < keep and remaining:
        front = [c for c in remaining
                 if not any(constrained_dominates(vectors[d], violations[d], vectors[c],
                                                  violations[c]) for d in remaining)]
        if not front:
            front = list(remaining)
        room = keep - len(survivors)
        if len(front) <= room:
            survivors += front
            remaining = [c for c in remaining if c not in front]
            continue
        distance = crowding_distances([vectors[c] for c in front])
        order = sorted(range(len(front)), key=lambda j: (
            math.isnan(distance[j]), 0.0 if math.isnan(distance[j]) else -distance[j], j))
        survivors += [front[j] for j in order[:room]]
    return sorted(survivors)


def mopso(objective, bounds, preset=None, **settings):
    """A seeded multi-objective run (see `run`); preset="robust" first fills the settings that
    were not passed."""
    if preset == "robust":
        settings = dict(settings)
        settings.setdefault("velocity", "speed_constrained")
        settings.setdefault("w", 0.4)
        settings.setdefault("turbulence", "polynomial")
        settings.setdefault("crossover_share", 0.3)
        settings.setdefault("crossover", "de")
        if settings.get("events") is None:  # the asynchronous run has no population step
            settings.setdefault("swarm_selection", "nondominated")
        if "archive_truncation" not in settings and settings.get("grid_divisions") is None:
            settings["archive_truncation"] = "hypervolume"
        budget = settings.get("max_evals") is not None or settings.get("max_time") is not None
        if "max_iter" not in settings and budget:
            settings["max_iter"] = 2**64 - 1  # no iteration limit: the budgets end the run
    return run(objective, bounds, **settings)


def run(objective, bounds, n_particles=100, max_iter=100, archive_size=100, w=0.729,
        c1=1.49445, c2=1.49445, velocity="inertia", seed=0, integer=False, binary=False,
        var_types=None, mutation_rate=0.1, grid_divisions=None, v_max=None,
        bounds_handling="clamp", record_history=True, vectorized=False, callback=None,
        max_evals=None, max_time=None, x0=None, turbulence="decaying",
        archive_truncation="crowding", contributions=None, constraints=None,
        equality_constraints=None, equality_tol=1e-4, crossover_share=0.0,
        swarm_selection="none", events=None, crossover="sbx"):
    """A seeded multi-objective run.

    Returns a dict with the four fields of the front, the stop reason, the evaluation count and,
    under "stats", how often the bounds policy, the turbulence, the personal-best coin and the
    archive pruning acted.

    With `vectorized` the objective takes the decoded swarm as an (n, d) float64 array and returns
    one row of objectives per particle: in every iteration all particles fly first (tournament,
    velocity, bounds, turbulence, in particle order), then one call evaluates them, then each
    particle in order takes its vector (personal best with its coin, then the archive). `x0`
    replaces the first k drawn positions after their draws. The callback `callback(t,
    front_size)`, then max_evals, are tested after every iteration; max_time is not modelled.

    `archive_truncation="hypervolume"` cuts by exclusive contributions, computed by `contributions`
    (front, reference) when given, else by the literal recursion below. Contributions that are
    equal in exact arithmetic (symmetric members) may differ in their last bit between the
    literal recursion and the library's sweeps, and the cut then depends on that bit; a seeded
    comparison passes the library's contributions, checked separately to agree with the model's.

    `constraints` (g(x) <= 0) and `equality_constraints` (h(x) = 0) take the point as the
    objective does (each its own copy; the whole array in the vectorised form, one value per row);
    a point's total violation (`total_violation`) is measured when it is evaluated, and
    constrained domination (`constrained_dominates`) replaces Pareto dominance in the personal
    bests and the archive. The result's "violations" has one per member.

    With `events` the run is the asynchronous one driven by them: None asks, a ticket tells the
    vector of that ticket's point. Tickets count the asks from 0. While the swarm is created, ask
    k creates particle k (the creation's draws come in the same order) and a tell evaluates it;
    the tell that completes the creation builds the archive from the personal bests in particle
    order, starts iteration 0 (prune, leaders, snapshots, turbulence) and flies every particle in
    index order; they wait to be asked in that order. Afterwards ask hands out the particle that
    waited longest, drawing nothing; a tell evaluates its point and takes the vector at once
    (personal best with its coin, then the archive); the n-th tell since the pass began ends the
    iteration (max_evals, then max_iter) and starts the next; if the run goes on, the particle
    then flies at once with the current pass's leaders and waits last.

    With `crossover_share` > 0 every particle first draws u = unit(); when u < crossover_share it
    does not fly: its position becomes `sbx_child` of a leader by tournament and a leader by one
    draw, and its velocity stays. With `crossover="de"` the child is instead `differential_child`
    of the leader by tournament and the personal bests of particles r1 = below(n) and r2 = below(n),
    drawn in that order, as they stand when the particle flies.

    With `swarm_selection="nondominated"` a particle's new vector does not touch its personal best
    (no coin): after every particle of an iteration took its vector, candidates 0..n-1 (the
    personal bests) and n..2n-1 (the new points) are cut to n by `nondominated_survivors`, and
    survivor c, in ascending order, becomes particle s's position and personal best; a new point
    (c >= n) keeps the velocity of particle c - n, a personal best starts at rest (zeros).
    With four or more objectives the step is left out (personal bests by dominance and coin).
    """
    assert max_time is None, "the model has no clock"
    space = build_space(bounds, integer, binary, var_types)
    if velocity == "speed_constrained":
        rule = SpeedConstrained(w, space.bounds)
    else:
        rule = make_velocity_rule(velocity, w, c1, c2)
    rng = Rng(seed)

    inequalities = list(constraints or [])
    equalities = list(equality_constraints or [])

    def evaluate(position):
        point = space.decode(position)
        point = [int(v) for v in point] if space.integer_args else [float(v) for v in point]
        values = [float(v) for v in objective(list(point))]
        violation = total_violation([float(g(list(point))) for g in inequalities],
                                    [float(h(list(point))) for h in equalities], equality_tol)
        return values, violation

    def evaluate_all(positions):
        import numpy as np

        rows = [[float(v) for v in space.decode(p)] for p in positions]
        matrix = np.array(rows, dtype=np.float64).reshape(len(positions), len(box))
        values = [[float(v) for v in row] for row in objective(matrix.copy())]
        g_rows = [[float(v) for v in g(matrix.copy())] for g in inequalities]
        h_rows = [[float(v) for v in h(matrix.copy())] for h in equalities]
        violations = [total_violation([g[i] for g in g_rows], [h[i] for h in h_rows],
                                      equality_tol) for i in range(len(positions))]
        return list(zip(values, violations))

    warm = points_of(x0)
    box = space.bounds
    pos, vel, objs = [], [], []  # objs: (objective vector, violation) per particle
    for i in range(n_particles):
        x = space.init_position(rng)
        v = space.init_velocity(rng)
        if i < len(warm):
            x = [float(c) for c in warm[i]]
        pos.append(x)
        vel.append(v)
        if not vectorized and events is None:
            objs.append(evaluate(x))
    if events is not None:
        objs = []  # the asynchronous creation takes them as they are told
    elif vectorized:
        objs = evaluate_all(pos)
    evaluations = n_particles
    pbest = [list(x) for x in pos]
    pbest_obj = [list(y) for y, _ in objs]
    pbest_violation = [v for _, v in objs]

    archive = Archive(archive_size, grid_divisions, archive_truncation)
    if contributions is not None:
        archive.contributions = contributions
    for x, (y, v) in zip(pos, objs):
        archive.insert(x, y, v)

    dims = len(box)
    stats = {"out_of_bounds": 0, "mutations": 0, "coins": 0}
    t1 = max(max_iter, 1)
    swarm_history, front_history = [], []
    reason = "max_iterations"

    # Up to three objectives; the count is that of the creation's vectors.
    assert events is None or swarm_selection == "none", "the asynchronous run has no such step"
    selecting = swarm_selection == "nondominated" and len(objs[0][0]) <= 3
    new_points = [None] * n_particles

    def take(i, x, answer):
        y, v = answer
        if selecting:
            new_points[i] = (list(x), list(y), v)
            archive.insert(x, y, v)
            return
        if constrained_dominates(y, v, pbest_obj[i], pbest_violation[i]):
            pbest[i], pbest_obj[i], pbest_violation[i] = list(x), list(y), v
        elif constrained_dominates(pbest_obj[i], pbest_violation[i], y, v):
            pass
        else:
            stats["coins"] += 1
            if rng.next_u32() >> 31:
                pbest[i], pbest_obj[i], pbest_violation[i] = list(x), list(y), v
        archive.insert(x, y, v)

    def start_iteration(t):
        """The prune, leaders, snapshots and turbulence of iteration t."""
        weights = archive.prune_and_weigh()
        leaders = [list(p) for p, _ in archive.members]
        if record_history:
            swarm_history.append([list(x) for x in pos])
            front_history.append([list(o) for o in archive.objectives()])
        decay = 1.0 - float(t) / float(t1)
        return leaders, weights, decay, mutation_rate * decay

    def fly(i, leaders, weights, decay, prob):
        """Tournament, move, bounds and turbulence of particle i (or, with the crossover's
        draw, a child of two leaders); returns its position."""
        a_count = len(leaders)
        if crossover_share > 0 and rng.unit() < crossover_share:
            a = rng.below(a_count)
            b = rng.below(a_count)
            parent = leaders[a] if weights[a] >= weights[b] else leaders[b]
            if crossover == "de":
                r1 = rng.below(n_particles)
                r2 = rng.below(n_particles)
                pos[i] = differential_child(parent, pbest[r1], pbest[r2], box, rng)
                return pos[i]
            pos[i] = sbx_child(parent, leaders[rng.below(a_count)], box, rng)
            return pos[i]
        a = rng.below(a_count)
        b = rng.below(a_count)
        leader = leaders[a] if weights[a] >= weights[b] else leaders[b]
        nv = rule.update(pos[i], vel[i], pbest[i], leader, [], rng)
        if v_max is not None:
            nv = [(-v_max if c < -v_max else (v_max if c > v_max else c)) for c in nv]
        x = [xk + vk for xk, vk in zip(pos[i], nv)]
        pos[i], vel[i] = x, nv
        if any(not lo <= xk <= hi for xk, (lo, hi) in zip(x, box)):
            stats["out_of_bounds"] += 1
        space.enforce_bounds(x, nv, bounds_handling, rng)
        if mutation_rate > 0 and dims > 0 and turbulence == "polynomial":
            if i % 6 == 0:
                polynomial_mutation(x, box, rng)
        elif mutation_rate > 0 and dims > 0:
            u = rng.unit()
            if not prob <= u:
                k = rng.below(dims)
                lo, hi = box[k]
                r = (hi - lo) * decay * 0.5
                if not r <= 0:
                    xk = x[k]
                    lower = fmax(xk - r, lo)
                    upper = fmin(xk + r, hi)
                    if not upper <= lower:
                        x[k] = rng.uniform_closed(lower, upper)
                        stats["mutations"] += 1
        return x

    def finish(reason, evaluations):
        archive.prune_and_weigh()
        return {
            "positions": [[float(v) for v in space.decode(p)] for p, _ in archive.members],
            "objectives": [list(o) for _, o in archive.members],
            "violations": list(archive.violations),
            "swarm_history": swarm_history,
            "front_history": front_history,
            "stop_reason": reason,
            "evaluations": evaluations,
            "stats": dict(stats, pruned=archive.cuts),
        }

    if events is not None:
        evaluations, reason, first = 0, None, {}
        created, told, t, next_ticket, out, waiting = 0, 0, 0, 0, {}, []
        for event in events:
            assert reason is None, "an event after the run finished"
            if event is None:
                if created < n_particles:
                    i = created
                    created += 1
                else:
                    i = waiting.pop(0)
                out[next_ticket] = i
                next_ticket += 1
                continue
            i = out.pop(event)
            answer = evaluate(pos[i])
            evaluations += 1
            told += 1
            if first is not None:  # the swarm is being created
                first[i] = answer
                if told < n_particles:
                    continue
                told = 0
                objs, first = [first[j] for j in range(n_particles)], None
                pbest_obj[:] = [list(y) for y, _ in objs]
                pbest_violation[:] = [v for _, v in objs]
                for x, (y, v) in zip(pos, objs):
                    archive.insert(x, y, v)
                if max_iter == 0:
                    reason = "max_iterations"
                    break
                plan = start_iteration(0)
                for j in range(n_particles):
                    fly(j, *plan)
                    waiting.append(j)
                continue
            take(i, pos[i], answer)
            if told == n_particles:
                told = 0
                t += 1
                if max_evals is not None and evaluations >= max_evals:
                    reason = "max_evaluations"
                elif t >= max_iter:
                    reason = "max_iterations"
                if reason is not None:
                    break
                plan = start_iteration(t)
            fly(i, *plan)
            waiting.append(i)
        assert reason is not None, "the events end before the run"
        return finish(reason, evaluations)

    for t in range(max_iter):
        plan = start_iteration(t)
        for i in range(n_particles):
            x = fly(i, *plan)
            if not vectorized:
                take(i, x, evaluate(x))
        if vectorized:
            for i, y in enumerate(evaluate_all(pos)):
                take(i, pos[i], y)
        if selecting:
            candidates = [(pbest[i], pbest_obj[i], pbest_violation[i]) for i in range(n_particles)]
            candidates += new_points
            survivors = nondominated_survivors([c[1] for c in candidates],
                                               [c[2] for c in candidates], n_particles)
            old_vel = vel
            pos, vel, pbest, pbest_obj, pbest_violation = [], [], [], [], []
            for c in survivors:
                x, y, v = candidates[c]
                pos.append(list(x))
                pbest.append(list(x))
                pbest_obj.append(list(y))
                pbest_violation.append(v)
                vel.append(list(old_vel[c - n_particles]) if c >= n_particles else [0.0] * dims)
        evaluations += n_particles
        if callback is not None and callback_stops(callback(t, min(len(archive.members), archive_size))):
            reason = "callback"
            break
        if max_evals is not None and evaluations >= max_evals:
            reason = "max_evaluations"
            break
    return finish(reason, evaluations)


# --- hypervolume ---------------------------------------------------------------------------------

def nondominated_unique(points):
    out = []
    for i, q in enumerate(points):
        if any(j != i and dominates(p, q) for j, p in enumerate(points)):
            continue
        if any(same_vector(o, q) for o in out):
            continue
        out.append(list(q))
    return out


def _box(p, ref):
    vol = 1.0
    for k in range(min(len(p), len(ref))):
        d = ref[k] - p[k]
        vol = vol * (d if d > 0 else 0.0)
    return vol


def _limit_set(points, i):
    base = points[i]
    out = []
    for q in points[i + 1:]:
        out.append([fmax(base[k], q[k]) for k in range(min(len(base), len(q)))])
    return out


def _hv(points, ref):
    total = -0.0
    for i in range(len(points)):
        excl = _box(points[i], ref) - _hv(nondominated_unique(_limit_set(points, i)), ref)
        total = total + excl
    return total


def hypervolume(front, reference):
    m = len(reference)
    kept = [list(p) for p in front
            if len(p) == m and all(reference[k] > p[k] for k in range(m))]
    return _hv(nondominated_unique(kept), list(reference))


def contributions(front, reference):
    """Exclusive hypervolume of every point: its box less the volume of its limit set, or 0 for
    a point that does not count or appears twice."""
    m = len(reference)
    share = []
    for i, p in enumerate(front):
        counts = len(p) == m and all(reference[k] > p[k] for k in range(m))
        repeated = any(j != i and same_vector(q, p) for j, q in enumerate(front))
        if not counts or repeated:
            share.append(0.0)
            continue
        others = [[fmax(p[k], q[k]) for k in range(m)] for j, q in enumerate(front) if j != i]
        share.append(_box(p, reference) - hypervolume(others, reference))
    return share


def default_reference(front):
    if not front:
        return []
    m = len(front[0])
    ref = []
    for k in range(m):
        hi, lo = -INF, INF
        for p in front:
            v = p[k]
            if math.isnan(v):
                continue
            if v > hi:
                hi = v
            if v < lo:
                lo = v
        spread = hi - lo
        ref.append(hi + spread * 0.1 if spread > 0 else hi + 1.0)
    return ref
