"""What both reference models share: the seeded generator, the comparisons, the bounds policies,
the search spaces and the velocity rules, each written once from its documented rule.

The models (``reference_swarm.py`` for the single-objective loop, ``reference_mopso.py`` for the
multi-objective one) build their runs from these parts and share no code with the library. Python
floats are IEEE doubles and every operation below rounds on its own, in the grouping written.
"""

import math
import struct

MASK32 = 0xFFFFFFFF
MASK64 = 0xFFFFFFFFFFFFFFFF
INF = math.inf

# ---------------------------------------------------------------------------------------------
# Bits of doubles
# ---------------------------------------------------------------------------------------------


def bits_of(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def double_of(bits):
    return struct.unpack("<d", struct.pack("<Q", bits & MASK64))[0]


# ---------------------------------------------------------------------------------------------
# The seeded random source: ChaCha8 keystream, four blocks per refill
# ---------------------------------------------------------------------------------------------

CHACHA_CONSTANTS = (0x61707865, 0x3320646E, 0x79622D32, 0x6B206574)


def _rotl32(v, n):
    return ((v << n) | (v >> (32 - n))) & MASK32


def _quarter_round(s, a, b, c, d):
    s[a] = (s[a] + s[b]) & MASK32
    s[d] = _rotl32(s[d] ^ s[a], 16)
    s[c] = (s[c] + s[d]) & MASK32
    s[b] = _rotl32(s[b] ^ s[c], 12)
    s[a] = (s[a] + s[b]) & MASK32
    s[d] = _rotl32(s[d] ^ s[a], 8)
    s[c] = (s[c] + s[d]) & MASK32
    s[b] = _rotl32(s[b] ^ s[c], 7)


def chacha8_block(key_words, counter, stream=0):
    """One 16-word keystream block of ChaCha with 8 rounds and a 64-bit counter."""
    inp = list(CHACHA_CONSTANTS) + list(key_words) + [
        counter & MASK32, (counter >> 32) & MASK32, stream & MASK32, (stream >> 32) & MASK32,
    ]
    s = list(inp)
    for _ in range(4):  # four double rounds
        _quarter_round(s, 0, 4, 8, 12)
        _quarter_round(s, 1, 5, 9, 13)
        _quarter_round(s, 2, 6, 10, 14)
        _quarter_round(s, 3, 7, 11, 15)
        _quarter_round(s, 0, 5, 10, 15)
        _quarter_round(s, 1, 6, 11, 12)
        _quarter_round(s, 2, 7, 8, 13)
        _quarter_round(s, 3, 4, 9, 14)
    return [(x + y) & MASK32 for x, y in zip(s, inp)]


def pcg32_key(seed):
    """The 32-byte key, as eight 32-bit words, that a 64-bit seed expands to."""
    s = seed & MASK64
    words = []
    for _ in range(8):
        s = (s * 6364136223846793005 + 11634580027462260723) & MASK64
        x = ((((s >> 18) ^ s) >> 27) & MASK32)
        r = s >> 59
        words.append(((x >> r) | (x << ((32 - r) % 32))) & MASK32)
    # the bytes of each word are written little-endian and read back little-endian: same word
    return words


class Rng:
    def __init__(self, seed):
        self.key = pcg32_key(seed)
        self.counter = 0
        self.buffer = [0] * 64
        self.index = 64

    def _refill(self):
        words = []
        for b in range(4):
            words.extend(chacha8_block(self.key, (self.counter + b) & MASK64))
        self.buffer = words
        self.counter = (self.counter + 4) & MASK64

    def next_u32(self):
        if self.index >= 64:
            self._refill()
            self.index = 0
        value = self.buffer[self.index]
        self.index += 1
        return value

    def next_u64(self):
        if self.index < 63:
            lo, hi = self.buffer[self.index], self.buffer[self.index + 1]
            self.index += 2
        elif self.index == 63:
            lo = self.buffer[63]
            self._refill()
            hi = self.buffer[0]
            self.index = 1
        else:
            self._refill()
            lo, hi = self.buffer[0], self.buffer[1]
            self.index = 2
        return (hi << 32) | lo

    def unit(self):
        return float(self.next_u64() >> 11) * 1.1102230246251565e-16

    def below(self, n):
        assert n >= 1
        zone = ((n << (64 - n.bit_length())) & MASK64) - 1
        while True:
            product = self.next_u64() * n
            if (product & MASK64) <= zone:
                return product >> 64

    def uniform_closed(self, low, high):
        if not low <= high:
            raise ValueError("cannot sample empty range")
        top = 0.9999999999999998  # 1 - 2**-52, the largest value of u below
        scale = (high - low) / top
        if math.isinf(scale) or math.isnan(scale):
            raise OverflowError("Uniform::new_inclusive: range overflow")
        while scale * top + low > high:
            scale = double_of(bits_of(scale) - 1)  # the next double toward zero
        r = self.next_u64()
        u = double_of((r >> 12) | 0x3FF0000000000000) - 1.0
        return low + u * scale


# ---------------------------------------------------------------------------------------------
# Comparisons
# ---------------------------------------------------------------------------------------------


def is_better(candidate, incumbent):
    return candidate < incumbent or (math.isnan(incumbent) and not math.isnan(candidate))


def total_violation(g_values, h_values, tol):
    """max(0, g) per inequality and max(0, |h| - tol) per equality, summed in that order; a NaN
    constraint value counts as inf."""
    total = 0.0
    for g in g_values:
        total = total + (INF if math.isnan(g) else (g if g > 0.0 else 0.0))
    for h in h_values:
        excess = abs(h) - tol
        total = total + (INF if math.isnan(h) else (excess if excess > 0.0 else 0.0))
    return total


def minimum_rule(indices, values):
    best = indices[0]
    for j in indices[1:]:
        if values[j] < values[best] or (math.isnan(values[best]) and not math.isnan(values[j])):
            best = j
    return best


def fmin(a, b):
    """min of two doubles that ignores a NaN operand."""
    if math.isnan(a):
        return b
    if math.isnan(b):
        return a
    return a if a <= b else b


def fmax(a, b):
    if math.isnan(a):
        return b
    if math.isnan(b):
        return a
    return a if a >= b else b


# ---------------------------------------------------------------------------------------------
# Out-of-bounds policies
# ---------------------------------------------------------------------------------------------

POLICIES = ("clamp", "reflect", "wrap", "reinit")


def enforce_bounds(position, velocity, bounds, mode, rng, upper_mirror_from_inside=False):
    """Bring each offending coordinate back into its (lo, hi) range, in place.

    ``upper_mirror_from_inside`` selects the integer space's spelling of the upper mirror,
    (hi - x) + hi, instead of hi - (x - hi). Returns how many coordinates were outside.
    """
    outside = 0
    for i, (lo, hi) in enumerate(bounds):
        x = position[i]
        if lo <= x <= hi:
            continue
        outside += 1
        width = hi - lo
        if mode == "clamp":
            if x < lo:
                x = lo
            elif x > hi:
                x = hi
        elif mode == "reflect":
            if width <= 0:
                x = lo
            else:
                passes = 0
                while x < lo or x > hi:
                    if x < lo:
                        x = (lo - x) + lo
                    if x > hi:
                        x = (hi - x) + hi if upper_mirror_from_inside else hi - (x - hi)
                    passes += 1
                    assert passes < 200, "coordinate too far outside for the literal mirror"
                velocity[i] = -velocity[i]
        elif mode == "wrap":
            if width <= 0:
                x = lo
            else:
                offset = x - lo
                if math.isinf(offset) or math.isnan(offset):
                    x = math.nan  # C's fmod of an infinite offset
                else:
                    r = math.fmod(offset, width)
                    if r < 0:
                        r = width + r
                    x = r + lo
        elif mode == "reinit":
            x = lo if width <= 0 else rng.uniform_closed(lo, hi)
            velocity[i] = 0.0
        else:
            raise ValueError(mode)
        position[i] = x
    return outside


# ---------------------------------------------------------------------------------------------
# Search spaces
# ---------------------------------------------------------------------------------------------

I64_MAX = (1 << 63) - 1
I64_MIN = -(1 << 63)


def round_half_away(x):
    """Nearest whole double, halves away from zero; the sign of a zero result is kept."""
    if not math.isfinite(x):
        return x
    t = math.copysign(float(math.trunc(x)), x)
    if abs(x - t) >= 0.5:
        t = t + math.copysign(1.0, x)
    return t


def saturate_i64(r):
    if math.isnan(r):
        return 0
    if r > 9223372036854774784.0:
        return I64_MAX
    if r < -9223372036854775808.0:
        return I64_MIN
    return int(r)


class ContinuousSpace:
    integer_args = False
    outside = 0  # coordinates found outside the box so far, to show that a policy acted

    def __init__(self, bounds):
        for i, (lo, hi) in enumerate(bounds):
            if not hi >= lo:
                raise ValueError(f"invalid bound in dimension {i}")
        self.bounds = [(float(lo), float(hi)) for lo, hi in bounds]

    def init_position(self, rng):
        return [rng.uniform_closed(lo, hi) for lo, hi in self.bounds]

    def velocity_widths(self):
        return [hi - lo for lo, hi in self.bounds]

    def init_velocity(self, rng):
        # a closed draw on [-w, w]; -w + u * scale is the same double as u * scale - w
        return [rng.uniform_closed(-w, w) for w in self.velocity_widths()]

    def enforce_bounds(self, position, velocity, mode, rng):
        self.outside += enforce_bounds(position, velocity, self.bounds, mode, rng)

    def decode(self, position):
        return list(position)

    def result_position(self, decoded):
        return list(decoded)


class IntegerSpace(ContinuousSpace):
    """Integer bounds; the swarm moves in reals and decoding rounds, saturates and clamps."""

    integer_args = True

    def __init__(self, int_bounds):
        for i, (lo, hi) in enumerate(int_bounds):
            if not hi >= lo:
                raise ValueError(f"invalid bound in dimension {i}")
        self.int_bounds = [(int(lo), int(hi)) for lo, hi in int_bounds]
        self.bounds = [(float(lo), float(hi)) for lo, hi in self.int_bounds]

    @classmethod
    def from_real_bounds(cls, bounds):
        return cls([(saturate_i64(round_half_away(float(lo))),
                     saturate_i64(round_half_away(float(hi)))) for lo, hi in bounds])

    @classmethod
    def binary(cls, n_dims):
        return cls([(0, 1)] * n_dims)

    def velocity_widths(self):
        return [float(hi - lo) for lo, hi in self.int_bounds]

    def enforce_bounds(self, position, velocity, mode, rng):
        self.outside += enforce_bounds(position, velocity, self.bounds, mode, rng,
                                       upper_mirror_from_inside=True)

    def decode(self, position):
        out = []
        for x, (lo, hi) in zip(position, self.int_bounds):
            k = saturate_i64(round_half_away(x))
            out.append(min(max(k, lo), hi))
        return out

    def result_position(self, decoded):
        return [float(k) for k in decoded]


VAR_TYPES = {"real": "real", "float": "real", "continuous": "real",
             "integer": "integer", "int": "integer", "binary": "binary", "bin": "binary"}


class MixedSpace(ContinuousSpace):
    def __init__(self, bounds, types):
        assert len(bounds) == len(types)
        self.types = [VAR_TYPES[t] for t in types]
        fixed = []
        for i, ((lo, hi), kind) in enumerate(zip(bounds, self.types)):
            if kind == "binary":
                fixed.append((0.0, 1.0))
            else:
                if not hi >= lo:
                    raise ValueError(f"invalid bound in dimension {i}")
                fixed.append((float(lo), float(hi)))
        self.bounds = fixed

    def decode(self, position):
        out = []
        for x, (lo, hi), kind in zip(position, self.bounds, self.types):
            if kind == "real":
                out.append(x)
            elif kind == "integer":
                lo_k = saturate_i64(round_half_away(lo))
                hi_k = saturate_i64(round_half_away(hi))
                k = saturate_i64(round_half_away(x))
                out.append(float(min(max(k, lo_k), hi_k)))
            else:
                r = round_half_away(x)
                out.append(0.0 if r < 0 else 1.0 if r > 1 else r)
        return out


def build_space(bounds, integer=False, binary=False, var_types=None):
    """The space a front end builds from its ``integer``, ``binary`` and ``var_types`` arguments."""
    if var_types is not None:
        return MixedSpace(bounds, var_types)
    if binary:
        return IntegerSpace.binary(len(bounds))
    if integer:
        return IntegerSpace.from_real_bounds(bounds)
    return ContinuousSpace(bounds)


# ---------------------------------------------------------------------------------------------
# Velocity rules
# ---------------------------------------------------------------------------------------------


def constriction_factor(phi):
    assert phi > 4
    return 2.0 / abs((2.0 - phi) - math.sqrt(phi * (-4.0) + phi * phi))


class Inertia:
    uses_informants = False

    def __init__(self, w, c1, c2):
        self.w, self.c1, self.c2 = w, c1, c2

    def update(self, x, v, p, g, informants, rng):
        new = []
        for d in range(len(x)):
            u1 = rng.unit()
            u2 = rng.unit()
            new.append(((p[d] - x[d]) * (u1 * self.c1) + v[d] * self.w)
                       + (g[d] - x[d]) * (u2 * self.c2))
        return new


class Constriction:
    uses_informants = False

    def __init__(self, c1, c2):
        self.c1, self.c2 = c1, c2
        self.chi = constriction_factor(c1 + c2)

    def update(self, x, v, p, g, informants, rng):
        new = []
        for d in range(len(x)):
            u1 = rng.unit()
            u2 = rng.unit()
            new.append((((p[d] - x[d]) * (u1 * self.c1) + v[d])
                        + (g[d] - x[d]) * (u2 * self.c2)) * self.chi)
        return new


class Fips:
    uses_informants = True

    def __init__(self, phi):
        self.phi = phi
        self.chi = constriction_factor(phi)

    def update(self, x, v, p, g, informants, rng):
        s = self.phi / float(max(len(informants), 1))
        new = []
        for d in range(len(x)):
            acc = 0.0
            for informant in informants:
                u = rng.unit()
                acc = acc + (informant[d] - x[d]) * (u * s)
            new.append((acc + v[d]) * self.chi)
        return new


class SpeedConstrained:
    """Constriction with c1, c2 drawn in [1.5, 2.5] per move, inertia w, two draws per dimension,
    and every component limited to half its variable's width."""

    uses_informants = False

    def __init__(self, w, box):
        self.w = w
        self.delta = [(hi - lo) * 0.5 for lo, hi in box]

    def update(self, x, v, p, g, informants, rng):
        c1 = 1.5 + rng.unit()
        c2 = 1.5 + rng.unit()
        phi = c1 + c2
        chi = constriction_factor(phi) if phi > 4 else 1.0
        new = []
        for d in range(len(x)):
            u1 = rng.unit()
            u2 = rng.unit()
            c = (((p[d] - x[d]) * (u1 * c1) + v[d] * self.w) + (g[d] - x[d]) * (u2 * c2)) * chi
            limit = self.delta[d]
            if c < -limit:
                c = -limit
            if c > limit:
                c = limit
            new.append(c)
        return new


def make_velocity_rule(name, w, c1, c2):
    total = c1 + c2
    if name == "inertia":
        return Inertia(w, c1, c2)
    if name == "constriction":
        return Constriction(c1, c2) if total > 4 else Constriction(2.05, 2.05)
    if name == "fips":
        return Fips(total if total > 4 else 4.1)
    raise ValueError(name)


# ---------------------------------------------------------------------------------------------
# Callbacks and warm starts
# ---------------------------------------------------------------------------------------------


def callback_stops(answer):
    """A callback's answer stops the run when it is the boolean False, Python's or NumPy's."""
    kind = type(answer)
    numpy_bool = kind.__module__ == "numpy" and kind.__name__ in ("bool_", "bool")
    return answer is False or (numpy_bool and not answer)


def points_of(x0):
    """One point (a flat sequence of numbers) or a list of points, as a list of points."""
    if x0 is None:
        return []
    x0 = [list(p) if hasattr(p, "__len__") else p for p in x0]
    return [x0] if not isinstance(x0[0], list) else x0
