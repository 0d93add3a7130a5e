"""An independent pure-Python model of the multi-objective swarm, written from the documented rules.

It reproduces a seeded `minimize_multi` run bit for bit (Python floats are IEEE doubles and every
expression below keeps the documented order and grouping) and the hypervolume indicator with its
default reference point. It is deliberately self-contained: it shares no code with the library or
with any other model in this directory, so that each checks the others.
"""

import math
import struct

MASK32 = 0xFFFFFFFF
MASK64 = 0xFFFFFFFFFFFFFFFF
INF = math.inf


# --- bit-level helpers --------------------------------------------------------------------------

def f2u(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def u2f(u):
    return struct.unpack("<d", struct.pack("<Q", u & MASK64))[0]


def next_down_nonneg(x):
    """The next smaller double for a finite x > 0 (the bit pattern minus one)."""
    return u2f(f2u(x) - 1)


# --- the random source: ChaCha with 8 rounds, four blocks per refill ---------------------------

def _rotl(v, n):
    return ((v << n) | (v >> (32 - n))) & MASK32


def _quarter(s, a, b, c, d):
    s[a] = (s[a] + s[b]) & MASK32
    s[d] = _rotl(s[d] ^ s[a], 16)
    s[c] = (s[c] + s[d]) & MASK32
    s[b] = _rotl(s[b] ^ s[c], 12)
    s[a] = (s[a] + s[b]) & MASK32
    s[d] = _rotl(s[d] ^ s[a], 8)
    s[c] = (s[c] + s[d]) & MASK32
    s[b] = _rotl(s[b] ^ s[c], 7)


def chacha8_block(key_words, counter):
    inp = [0x61707865, 0x3320646E, 0x79622D32, 0x6B206574, *key_words,
           counter & MASK32, (counter >> 32) & MASK32, 0, 0]
    s = list(inp)
    for _ in range(4):
        _quarter(s, 0, 4, 8, 12)
        _quarter(s, 1, 5, 9, 13)
        _quarter(s, 2, 6, 10, 14)
        _quarter(s, 3, 7, 11, 15)
        _quarter(s, 0, 5, 10, 15)
        _quarter(s, 1, 6, 11, 12)
        _quarter(s, 2, 7, 8, 13)
        _quarter(s, 3, 4, 9, 14)
    return [(x + y) & MASK32 for x, y in zip(s, inp)]


class Rng:
    def __init__(self, key_words):
        assert len(key_words) == 8
        self.key = list(key_words)
        self.counter = 0
        self.buf = [0] * 64
        self.index = 64

    @classmethod
    def seed_from_u64(cls, seed):
        s = seed & MASK64
        words = []
        for _ in range(8):
            s = (s * 6364136223846793005 + 11634580027462260723) & MASK64
            x = (((s >> 18) ^ s) >> 27) & MASK32
            r = s >> 59
            words.append(((x >> r) | (x << ((32 - r) & 31))) & MASK32)
        # The key bytes are the words in little-endian order, read back as little-endian words.
        return cls(words)

    def _refill(self):
        buf = []
        for j in range(4):
            buf.extend(chacha8_block(self.key, (self.counter + j) & MASK64))
        self.buf = buf
        self.counter = (self.counter + 4) & MASK64

    def next_u32(self):
        if self.index == 64:
            self._refill()
            self.index = 0
        v = self.buf[self.index]
        self.index += 1
        return v

    def next_u64(self):
        if self.index < 63:
            lo, hi = self.buf[self.index], self.buf[self.index + 1]
            self.index += 2
        elif self.index == 63:
            lo = self.buf[63]
            self._refill()
            hi = self.buf[0]
            self.index = 1
        else:
            self._refill()
            lo, hi = self.buf[0], self.buf[1]
            self.index = 2
        return (hi << 32) | lo

    def unit(self):
        return float(self.next_u64() >> 11) * 1.1102230246251565e-16

    def below(self, n):
        assert n >= 1
        lz = 64 - n.bit_length()
        zone = ((n << lz) & MASK64) - 1
        while True:
            v = self.next_u64()
            prod = v * n
            if (prod & MASK64) <= zone:
                return prod >> 64

    def uniform_closed(self, low, high):
        m = 0.9999999999999998  # 1 - 2**-52
        if not low <= high:
            raise ValueError("cannot sample empty range")
        scale = (high - low) / m
        if math.isinf(scale) or math.isnan(scale):
            raise OverflowError("Uniform::new_inclusive: range overflow")
        while scale * m + low > high:
            scale = next_down_nonneg(scale)
        r = self.next_u64()
        u = u2f((r >> 12) | 0x3FF0000000000000) - 1.0
        return low + u * scale


# --- rounding and saturating conversions --------------------------------------------------------

I64_MAX = 2**63 - 1
I64_MIN = -(2**63)


def round_half_away(x):
    """C `round`: to the nearest integer, halves away from zero; keeps the sign of zero."""
    if math.isnan(x) or math.isinf(x):
        return x
    a = abs(x)
    t = float(math.trunc(a))
    if a - t >= 0.5:
        t = t + 1.0
    return math.copysign(t, x)


def sat_i64(r):
    if math.isnan(r):
        return 0
    if r > 9223372036854774784.0:
        return I64_MAX
    if r < -9223372036854775808.0:
        return I64_MIN
    return int(r)


# --- bounds policies ---------------------------------------------------------------------------

CLAMP, REFLECT, WRAP, REINIT = "clamp", "reflect", "wrap", "reinit"


def enforce_bounds(bounds, position, velocity, mode, rng, integer_mirror=False):
    for i, (lo, hi) in enumerate(bounds):
        x = position[i]
        if lo <= x <= hi:
            continue
        width = hi - lo
        if mode == CLAMP:
            if x < lo:
                x = lo
            elif x > hi:
                x = hi
        elif mode == REFLECT:
            if width <= 0:
                x = lo
            else:
                passes = 0
                while x < lo or x > hi:
                    if x < lo:
                        x = (lo - x) + lo
                    if x > hi:
                        x = ((hi - x) + hi) if integer_mirror else (hi - (x - hi))
                    passes += 1
                    if passes > 200:
                        raise RuntimeError("reflect far out of range: not modelled")
                velocity[i] = -velocity[i]
        elif mode == WRAP:
            if width <= 0:
                x = lo
            else:
                d = x - lo
                if math.isinf(d) or math.isnan(d):
                    x = math.nan
                else:
                    r = math.fmod(d, width)
                    if r < 0:
                        r = width + r
                    x = r + lo
        elif mode == REINIT:
            if width <= 0:
                x = lo
            else:
                x = rng.uniform_closed(lo, hi)
            velocity[i] = 0.0
        else:
            raise ValueError(mode)
        position[i] = x


# --- spaces --------------------------------------------------------------------------------------

class ContinuousSpace:
    integer_args = False

    def __init__(self, bounds):
        self.pairs = [(float(lo), float(hi)) for lo, hi in bounds]
        for lo, hi in self.pairs:
            assert hi >= lo

    def bounds(self):
        return list(self.pairs)

    def init_position(self, rng):
        return [rng.uniform_closed(lo, hi) for lo, hi in self.pairs]

    def init_velocity(self, rng):
        out = []
        for lo, hi in self.pairs:
            w = hi - lo
            out.append(rng.uniform_closed(-w, w))
        return out

    def enforce_bounds(self, position, velocity, mode, rng):
        enforce_bounds(self.pairs, position, velocity, mode, rng)

    def decode(self, position):
        return list(position)


class IntegerSpace:
    integer_args = True

    def __init__(self, int_pairs):
        self.ipairs = [(int(lo), int(hi)) for lo, hi in int_pairs]
        for lo, hi in self.ipairs:
            assert hi >= lo

    @classmethod
    def from_real(cls, bounds):
        return cls([(sat_i64(round_half_away(float(lo))), sat_i64(round_half_away(float(hi))))
                    for lo, hi in bounds])

    @classmethod
    def binary(cls, n):
        return cls([(0, 1)] * n)

    def bounds(self):
        return [(float(lo), float(hi)) for lo, hi in self.ipairs]

    def init_position(self, rng):
        return [rng.uniform_closed(float(lo), float(hi)) for lo, hi in self.ipairs]

    def init_velocity(self, rng):
        out = []
        for lo, hi in self.ipairs:
            w = float(hi - lo)
            out.append(rng.uniform_closed(-w, w))
        return out

    def enforce_bounds(self, position, velocity, mode, rng):
        enforce_bounds(self.bounds(), position, velocity, mode, rng, integer_mirror=True)

    def decode(self, position):
        out = []
        for x, (lo, hi) in zip(position, self.ipairs):
            k = sat_i64(round_half_away(x))
            out.append(min(max(k, lo), hi))
        return out


REAL, INTEGER, BINARY = 0, 1, 2
TYPE_NAMES = {"real": REAL, "float": REAL, "continuous": REAL,
              "integer": INTEGER, "int": INTEGER, "binary": BINARY, "bin": BINARY}


class MixedSpace:
    integer_args = False

    def __init__(self, bounds, types):
        assert len(bounds) == len(types)
        self.types = list(types)
        self.pairs = []
        for (lo, hi), t in zip(bounds, types):
            if t == BINARY:
                self.pairs.append((0.0, 1.0))
            else:
                lo, hi = float(lo), float(hi)
                assert hi >= lo
                self.pairs.append((lo, hi))

    def bounds(self):
        return list(self.pairs)

    init_position = ContinuousSpace.init_position
    init_velocity = ContinuousSpace.init_velocity

    def enforce_bounds(self, position, velocity, mode, rng):
        enforce_bounds(self.pairs, position, velocity, mode, rng)

    def decode(self, position):
        out = []
        for x, (lo, hi), t in zip(position, self.pairs, self.types):
            if t == REAL:
                out.append(x)
            elif t == INTEGER:
                lo_i = sat_i64(round_half_away(lo))
                hi_i = sat_i64(round_half_away(hi))
                k = sat_i64(round_half_away(x))
                out.append(float(min(max(k, lo_i), hi_i)))
            else:
                r = round_half_away(x)
                if r < 0:
                    r = 0.0
                elif r > 1:
                    r = 1.0
                out.append(r)
        return out


# --- velocity rules ------------------------------------------------------------------------------

class Inertia:
    def __init__(self, w, c1, c2):
        self.w, self.c1, self.c2 = w, c1, c2

    def update(self, x, v, p, g, rng):
        out = []
        for d in range(len(x)):
            u1 = rng.unit()
            u2 = rng.unit()
            out.append(((p[d] - x[d]) * (u1 * self.c1) + v[d] * self.w)
                       + (g[d] - x[d]) * (u2 * self.c2))
        return out


def constriction_factor(phi):
    if not phi > 4:
        raise ValueError("constriction requires c1 + c2 > 4")
    return 2.0 / abs((2.0 - phi) - math.sqrt(phi * (-4.0) + phi * phi))


class Constriction:
    def __init__(self, c1, c2):
        self.c1, self.c2 = c1, c2
        self.chi = constriction_factor(c1 + c2)

    def update(self, x, v, p, g, rng):
        out = []
        for d in range(len(x)):
            u1 = rng.unit()
            u2 = rng.unit()
            out.append((((p[d] - x[d]) * (u1 * self.c1) + v[d])
                        + (g[d] - x[d]) * (u2 * self.c2)) * self.chi)
        return out


class SpeedConstrained:
    """Constriction with c1, c2 drawn in [1.5, 2.5] per move, inertia w, two draws per dimension,
    and every component limited to half its variable's width."""

    def __init__(self, w, box):
        self.w = w
        self.delta = [(hi - lo) * 0.5 for lo, hi in box]

    def update(self, x, v, p, g, rng):
        c1 = 1.5 + rng.unit()
        c2 = 1.5 + rng.unit()
        phi = c1 + c2
        chi = constriction_factor(phi) if phi > 4 else 1.0
        out = []
        for d in range(len(x)):
            u1 = rng.unit()
            u2 = rng.unit()
            c = (((p[d] - x[d]) * (u1 * c1) + v[d] * self.w) + (g[d] - x[d]) * (u2 * c2)) * chi
            limit = self.delta[d]
            if c < -limit:
                c = -limit
            if c > limit:
                c = limit
            out.append(c)
        return out


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


def make_rule(name, w, c1, c2, box=None):
    if name == "speed_constrained":
        return SpeedConstrained(w, box)
    if name == "inertia":
        return Inertia(w, c1, c2)
    if name == "constriction":
        if c1 + c2 > 4:
            return Constriction(c1, c2)
        return Constriction(2.05, 2.05)
    raise ValueError(name)


# --- Pareto archive ------------------------------------------------------------------------------

def dominates(a, b):
    better = False
    for x, y in zip(a, b):
        if x > y:
            return False
        if x < y:
            better = True
    return better


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
        self.cuts = 0  # how many members pruning has removed, for tests that need it to act

    def insert(self, position, objectives):
        if any(dominates(o, objectives) for _, o in self.members):
            return
        self.members = [(p, o) for p, o in self.members if not dominates(objectives, o)]
        if any(same_vector(o, objectives) for _, o in self.members):
            return
        self.members.append((list(position), list(objectives)))

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
                del self.members[victim]
                self.cuts += 1
            return crowding_distances(self.objectives())
        if self.grid is None:  # crowding, also for the hypervolume cut beyond three objectives
            dist = crowding_distances(self.objectives())
            if len(self.members) > self.size:
                order = sorted(range(len(self.members)), key=lambda i: dist[i], reverse=True)
                keep = sorted(order[:self.size])
                self.cuts += len(self.members) - self.size
                self.members = [self.members[i] for i in keep]
                dist = crowding_distances(self.objectives())
            return dist
        while len(self.members) > self.size:
            occ = grid_occupancy(grid_coordinates(self.objectives(), self.grid))
            top = max(occ)
            victim = max(i for i, c in enumerate(occ) if c == top)
            del self.members[victim]
            self.cuts += 1
        occ = grid_occupancy(grid_coordinates(self.objectives(), self.grid))
        return [1.0 / float(c) for c in occ]


# --- the run ------------------------------------------------------------------------------------

def build_space(bounds, integer=False, binary=False, var_types=None):
    if var_types is not None:
        return MixedSpace(bounds, [TYPE_NAMES[t] for t in var_types])
    if binary:
        return IntegerSpace.binary(len(bounds))
    if integer:
        return IntegerSpace.from_real(bounds)
    return ContinuousSpace(bounds)


def mopso(objective, bounds, preset=None, **settings):
    """A seeded multi-objective run (see `run`); preset="robust" first fills the settings that
    were not passed."""
    if preset == "robust":
        settings = dict(settings)
        settings.setdefault("velocity", "speed_constrained")
        settings.setdefault("w", 0.4)
        settings.setdefault("turbulence", "polynomial")
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
          archive_truncation="crowding", contributions=None):
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
    """
    assert max_time is None, "the model has no clock"
    space = build_space(bounds, integer, binary, var_types)
    rule = make_rule(velocity, w, c1, c2, space.bounds())
    rng = Rng.seed_from_u64(seed)

    def evaluate(position):
        point = space.decode(position)
        point = [int(v) for v in point] if space.integer_args else [float(v) for v in point]
        return [float(v) for v in objective(point)]

    def evaluate_all(positions):
        import numpy as np

        rows = [[float(v) for v in space.decode(p)] for p in positions]
        matrix = np.array(rows, dtype=np.float64).reshape(len(positions), len(box))
        return [[float(v) for v in row] for row in objective(matrix)]

    warm = _points(x0)
    box = space.bounds()
    pos, vel, objs = [], [], []
    for i in range(n_particles):
        x = space.init_position(rng)
        v = space.init_velocity(rng)
        if i < len(warm):
            x = [float(c) for c in warm[i]]
        pos.append(x)
        vel.append(v)
        if not vectorized:
            objs.append(evaluate(x))
    if vectorized:
        objs = evaluate_all(pos)
    evaluations = n_particles
    pbest = [list(x) for x in pos]
    pbest_obj = [list(y) for y in objs]

    archive = Archive(archive_size, grid_divisions, archive_truncation)
    if contributions is not None:
        archive.contributions = contributions
    for x, y in zip(pos, objs):
        archive.insert(x, y)

    dims = len(box)
    stats = {"out_of_bounds": 0, "mutations": 0, "coins": 0}
    t1 = max(max_iter, 1)
    swarm_history, front_history = [], []
    reason = "max_iterations"

    def take(i, x, y):
        if dominates(y, pbest_obj[i]):
            pbest[i], pbest_obj[i] = list(x), list(y)
        elif dominates(pbest_obj[i], y):
            pass
        else:
            stats["coins"] += 1
            if rng.next_u32() >> 31:
                pbest[i], pbest_obj[i] = list(x), list(y)
        archive.insert(x, y)

    for t in range(max_iter):
        weights = archive.prune_and_weigh()
        leaders = [list(p) for p, _ in archive.members]
        a_count = len(leaders)
        if record_history:
            swarm_history.append([list(x) for x in pos])
            front_history.append([list(o) for o in archive.objectives()])
        decay = 1.0 - float(t) / float(t1)
        prob = mutation_rate * decay
        for i in range(n_particles):
            a = rng.below(a_count)
            b = rng.below(a_count)
            leader = leaders[a] if weights[a] >= weights[b] else leaders[b]
            nv = rule.update(pos[i], vel[i], pbest[i], leader, rng)
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
                        lower = nan_max(xk - r, lo)
                        upper = nan_min(xk + r, hi)
                        if not upper <= lower:
                            x[k] = rng.uniform_closed(lower, upper)
                            stats["mutations"] += 1
            if not vectorized:
                take(i, x, evaluate(x))
        if vectorized:
            for i, y in enumerate(evaluate_all(pos)):
                take(i, pos[i], y)
        evaluations += n_particles
        if callback is not None and stops(callback(t, min(len(archive.members), archive_size))):
            reason = "callback"
            break
        if max_evals is not None and evaluations >= max_evals:
            reason = "max_evaluations"
            break
    archive.prune_and_weigh()
    return {
        "positions": [[float(v) for v in space.decode(p)] for p, _ in archive.members],
        "objectives": [list(o) for _, o in archive.members],
        "swarm_history": swarm_history,
        "front_history": front_history,
        "stop_reason": reason,
        "evaluations": evaluations,
        "stats": dict(stats, pruned=archive.cuts),
    }


def stops(answer):
    """A callback's answer stops the run when it is the boolean False, Python's or NumPy's."""
    kind = type(answer)
    numpy_bool = kind.__module__ == "numpy" and kind.__name__ in ("bool_", "bool")
    return answer is False or (numpy_bool and not answer)


def _points(x0):
    """One point (a flat sequence of numbers) or a list of points, as a list of points."""
    if x0 is None:
        return []
    x0 = [list(p) if hasattr(p, "__len__") else p for p in x0]
    return [x0] if not isinstance(x0[0], list) else x0


def nan_max(a, b):
    if math.isnan(a):
        return b
    if math.isnan(b):
        return a
    return a if a >= b else b


def nan_min(a, b):
    if math.isnan(a):
        return b
    if math.isnan(b):
        return a
    return a if a <= b else b


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
        out.append([nan_max(base[k], q[k]) for k in range(min(len(base), len(q)))])
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
        others = [[nan_max(p[k], q[k]) for k in range(m)] for j, q in enumerate(front) if j != i]
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
