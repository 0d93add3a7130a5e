"""Hypothesis strategies for the property tests: arguments a caller may pass, valid or not, and
Python objects that misbehave in every way the binding has to survive (lying sequences, numbers
that raise, objectives that return the wrong thing, raise, mutate their argument or call back into
the module). Every object has a repr that rebuilds it, so a failing example reads as a call."""

import math
import os
import struct

import numpy as np
from hypothesis import strategies as st
from hypothesis.extra import numpy as npst

import corvalinth as pso


class Boom(Exception):
    """Raised by the hostile objects, so a test can tell it from an error of the library."""


# What a call may end in besides a result: the documented argument errors, the internal-error
# class, and whatever user code raised (Boom, and IndexError from a sequence that lies about its
# length).
ALLOWED_ERRORS = (TypeError, ValueError, KeyError, OverflowError, MemoryError, IndexError, Boom,
                  pso.PanicException)


class Named:
    """An object whose repr is the expression that builds it."""

    def __init__(self, text):
        self.text = text

    def __repr__(self):
        return self.text


class ExampleLog:
    """Notes each call before it is made, in the file that the environment variable VARIABLE names, so
    that the call which kills the process can be shown; also counts the calls."""

    VARIABLE = "CORVALINTH_EXAMPLE_LOG"

    def __init__(self, path):
        self.file = open(path, "w") if path else None  # noqa: SIM115 - open for the whole run
        self.count = 0

    def note(self, text):
        self.count += 1
        if self.file:
            self.file.seek(0)
            self.file.write(text)
            self.file.truncate()
            self.file.flush()


LOG = ExampleLog(os.environ.get(ExampleLog.VARIABLE))


# --- misbehaving values ---------------------------------------------------------------------


class LyingSequence(Named):
    """Claims `claimed` items but holds `items`: reading past them raises IndexError."""

    def __init__(self, items, claimed):
        super().__init__(f"LyingSequence({items!r}, {claimed})")
        self.items, self.claimed = items, claimed

    def __len__(self):
        return self.claimed

    def __getitem__(self, index):
        return self.items[index]


class ShrinkingSequence(Named):
    """Empties itself while it is being read."""

    def __init__(self, items):
        super().__init__(f"ShrinkingSequence({items!r})")
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        value = self.items[index]
        self.items.clear()
        return value


class RaisingNumber(Named):
    """A number whose every conversion raises."""

    def __init__(self):
        super().__init__("RaisingNumber()")

    def __float__(self):
        raise Boom("__float__")

    def __index__(self):
        raise Boom("__index__")

    def __bool__(self):
        raise Boom("__bool__")

    def __len__(self):
        raise Boom("__len__")

    def __getitem__(self, index):
        raise Boom("__getitem__")


class WrongNumber(Named):
    """A number whose conversions return the wrong type."""

    def __init__(self):
        super().__init__("WrongNumber()")

    def __float__(self):
        return "1.0"

    def __index__(self):
        return 1.5


def _array(dtype, shape, fill, layout):
    values = np.linspace(-fill, 2 * fill + 1, int(np.prod(shape))).reshape(shape)
    array = values.astype(np.dtype(dtype)) if dtype != "U1" else values.astype(int).astype("U1")
    if layout == "strided" and array.ndim:
        return array[::2]
    return np.asfortranarray(array) if layout == "fortran" else array


def odd_arrays():
    """NumPy arrays of odd dtypes, shapes, byte orders and layouts."""
    dtypes = st.sampled_from(["f8", ">f8", "f4", "f2", "i1", "u8", "i8", "?", "c16", "O", "U1"])
    shapes = npst.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=4)
    return st.builds(_array, dtypes, shapes, st.sampled_from([0.0, 1.0, 1e300, math.nan]),
                     st.sampled_from(["plain", "strided", "fortran"]))


def hostile_values():
    """Anything at all, weighted towards what the binding's readers trip over."""
    scalars = st.one_of(
        st.none(), st.booleans(),
        st.integers(-10, 10), st.sampled_from([2**31, 2**40, 2**62, 2**64, 2**70, -(2**70)]),
        st.floats(allow_nan=True, allow_infinity=True), st.text(max_size=4),
        st.binary(max_size=4), st.just(np.float64(2.0)), st.just(np.int64(-3)),
        st.just(np.bool_(True)), st.builds(RaisingNumber), st.builds(WrongNumber),
        st.just(Named("object()")))
    nested = st.recursive(
        scalars, lambda inner: st.one_of(st.lists(inner, max_size=4),
                                         st.lists(inner, max_size=4).map(tuple),
                                         st.dictionaries(st.text(max_size=2), inner, max_size=2)),
        max_leaves=8)
    sequences = st.lists(st.floats(-10, 10), max_size=4)
    return st.one_of(
        nested, odd_arrays(),
        st.builds(LyingSequence, sequences, st.integers(0, 8)),
        st.builds(ShrinkingSequence, st.lists(st.tuples(st.floats(-2, -1), st.floats(1, 2)),
                                              max_size=4)),
        st.builds(LyingSequence, st.lists(st.tuples(st.floats(-2, -1), st.floats(1, 2)),
                                          max_size=3), st.integers(0, 6)),
        st.sampled_from([lambda *a: 1.0, [lambda x: 1.0], range(3), "sphere", "grey_sphere"]))


# --- objectives and other callables ---------------------------------------------------------


class Behaviour(Named):
    """A Python callable for the library to call. `fired` turns true once it has done something
    that must end the call in `expected` (the error the library has to raise); a behaviour that
    never fires must not make the call fail."""

    BEHAVIOURS: dict = {}

    def __init__(self, kind, *parameters):
        super().__init__(f"{type(self).__name__}({kind!r}{''.join(f', {p!r}' for p in parameters)})")
        self.kind, self.parameters, self.calls, self.fired = kind, parameters, 0, False
        self.expected = self.BEHAVIOURS[kind]

    def __call__(self, *arguments):
        self.calls += 1
        return self.respond(*arguments)

    def fire(self, answer=None):
        self.fired = True
        if isinstance(answer, BaseException):
            raise answer
        return answer


def _reenter():
    """Calls back into the module from inside a run."""
    inner = pso.minimize("sphere", [(-1, 1)], n_particles=1, max_iter=1, seed=3)
    return inner.best_value + pso.hypervolume([[1.0, 2.0]], [3.0, 3.0])


def _numbers(x):
    """The numbers of an argument: the coordinates of a point, or the ends of its intervals."""
    values = []
    for item in x:
        values.extend(item if isinstance(item, tuple) else (item,))
    # A function called after one that changed the shared argument list sees what it left there.
    return [v for v in values if isinstance(v, (int, float))]


class Scalar(Behaviour):
    """A single-objective function, a constraint, or a grey objective."""

    BEHAVIOURS = {
        "sphere": None, "integer": None, "float32": None, "nan_sometimes": None, "inf": None,
        "huge": None, "mutates_argument": None, "keeps_argument": None, "reenters": None,
        "str": TypeError, "none": TypeError, "list": TypeError, "raising_number": Boom,
        "raises_later": Boom,
    }

    def __init__(self, kind):
        super().__init__(kind)
        self.kept = []

    def respond(self, x):
        total = sum(v * v for v in _numbers(x))
        kind = self.kind
        if kind == "integer":
            return int(min(total, 2**62)) if not math.isnan(total) else 0
        if kind == "float32":
            return np.float32(total)
        if kind == "nan_sometimes":
            return math.nan if self.calls % 3 == 0 else total
        if kind == "inf":
            return math.inf if self.calls % 2 else -math.inf
        if kind == "huge":
            return -1e308 * self.calls
        if kind == "mutates_argument":
            x.clear()
            x.append("junk")
        elif kind == "keeps_argument":
            self.kept.append(x)
            if len(self.kept) > 1:
                self.kept[-2].clear()
        elif kind == "reenters":
            return total + _reenter()
        elif kind in ("str", "none", "list", "raising_number"):
            return self.fire({"str": "x", "none": None, "list": [total],
                              "raising_number": RaisingNumber()}[kind])
        elif kind == "raises_later" and self.calls > 3:
            self.fire(Boom("objective"))
        return total


class Vector(Behaviour):
    """A multi-objective function with `count` objectives."""

    BEHAVIOURS = {"list": None, "tuple": None, "array": None, "nan": None, "reenters": None,
                  "changes_length": ValueError, "str": TypeError, "float": TypeError,
                  "raises": Boom}

    def respond(self, x):
        values = [float(sum(x)) * (k + 1) - k for k in range(self.parameters[0])]
        kind = self.kind
        if kind == "tuple":
            return tuple(values)
        if kind == "array":
            return np.array(values, dtype=np.float32)
        if kind == "nan":
            return [math.nan if self.calls % 4 == 0 else v for v in values]
        if kind == "reenters":
            return [v + _reenter() for v in values]
        if kind == "changes_length":
            return self.fire(values + [0.0]) if self.calls == 2 else values
        if kind in ("str", "float"):
            return self.fire("ab" if kind == "str" else 1.0)
        if kind == "raises":
            self.fire(Boom("objective"))
        return values


class Batch(Behaviour):
    """A vectorised objective: the whole swarm in, one value per particle out."""

    BEHAVIOURS = {"array": None, "list": None, "float32": None, "writes_input": None,
                  "short": ValueError, "matrix": TypeError, "none": TypeError, "raises": Boom}

    def respond(self, x):
        values = (np.asarray(x) ** 2).sum(axis=1)
        kind = self.kind
        if kind == "list":
            return values.tolist()
        if kind == "float32":
            return values.astype(np.float32)
        if kind == "writes_input":
            try:
                x[...] = 0.0
            except ValueError:  # a read-only view
                pass
        elif kind == "short":
            return self.fire(values[:-1])
        elif kind == "matrix":
            return self.fire(np.stack([values, values], axis=1))
        elif kind == "none":
            return self.fire(None)
        elif kind == "raises":
            self.fire(Boom("batch"))
        return values


class Repair(Behaviour):
    """A repair operator."""

    BEHAVIOURS = {"halves": None, "shorter": None, "longer": None, "nan": None,
                  "str": TypeError, "raises": Boom}

    def respond(self, x):
        kind = self.kind
        if kind == "shorter":
            return list(x)[:-1]
        if kind == "longer":
            return list(x) + [0.5, 0.25]
        if kind == "nan":
            return [math.nan for _ in x]
        if kind == "str":
            return self.fire("ab")
        if kind == "raises":
            self.fire(Boom("repair"))
        return [v * 0.5 for v in x]


class Callback(Behaviour):
    """An iteration callback."""

    BEHAVIOURS = {"none": None, "false": None, "true": None, "zero": None, "reenters": None,
                  "raises": Boom}

    def respond(self, iteration, best_value):
        if self.kind == "raises":
            self.fire(Boom("callback"))
        if self.kind == "reenters":
            return _reenter() > -1.0
        return {"none": None, "false": False, "true": True, "zero": 0}[self.kind]


def behaviours(cls, *parameters):
    """A strategy over every behaviour of a class; `parameters` draw the further arguments."""
    return st.builds(cls, st.sampled_from(sorted(cls.BEHAVIOURS)), *parameters)


# --- damaged saved states -------------------------------------------------------------------
#
# A saved run state is little-endian 64-bit words: magic, version, then the run's fields. The
# layout below names the words a damage aims at, so a claim can be made consistently (a huge
# iteration count with the trace lengths it implies) and get past the simple checks.

HUGE_COUNTS = [2**24, 2**31, 2**40, 2**56, 2**63 - 1, 2**64 - 1]
GENERATOR_WORDS = 8 + 1 + 1 + 64  # key, counter, buffer position, buffer


def state_words(state):
    return list(struct.unpack(f"<{len(state) // 8}Q", state))


def words_state(words):
    return struct.pack(f"<{len(words)}Q", *words)


def run_state_layout(words):
    """Word index of the fields a damage aims at, read from a state a run saved."""
    n, dim = words[2], words[3]
    layout = {"phase": 5, "stop_reason": 6, "iteration": 7}
    # evaluations, previous best, stall count, leader, then the restart policy's two words
    at = 10 + GENERATOR_WORDS + 3 * n * (1 + dim) + (1 + n) + 1 + (1 + dim) + 4 + 2
    layout["recorded"], layout["history"] = at, at + 1
    layout["convergence"] = at + 2 + words[at + 1]
    return layout


@st.composite
def damaged_run_states(draw, state):
    """`state` with damaged counts (a claimed trace of any size, or any one word replaced by a
    huge count), a foreign stop reason or phase, or a few random bytes changed."""
    words = state_words(state)
    at = run_state_layout(words)
    damage = draw(st.sampled_from(["claimed trace", "huge word", "stop reason", "bytes"]))
    if damage == "claimed trace":
        per_iteration = words[2] * words[3]
        iterations = draw(st.sampled_from(HUGE_COUNTS[:-1]))
        recorded = iterations + 1
        words[at["iteration"]] = iterations
        words[at["recorded"]] = recorded
        words[at["history"]] = recorded * per_iteration % 2**64
        return words_state(words[:at["history"] + 1])
    if damage == "huge word":
        words[draw(st.integers(2, len(words) - 1))] = draw(st.sampled_from(HUGE_COUNTS))
        return words_state(words)
    if damage == "stop reason":
        words[at["stop_reason"]] = draw(st.integers(0, 8))
        words[at["phase"]] = draw(st.integers(0, 2))
        return words_state(words)
    damaged = bytearray(state)
    for _ in range(draw(st.integers(1, 3))):
        damaged[draw(st.integers(16, len(damaged) - 1))] = draw(st.integers(0, 255))
    return bytes(damaged)


FOREIGN_STOP_REASONS = ["cancelled", "", "MAX_ITERATIONS", "max_iterations\0", "tired"]


@st.composite
def damaged_result_states(draw, state):
    """A result's pickled state with damaged counts, rows of no values (which let a small state
    claim any number of them), or a stop reason no run reports."""
    state = dict(state)
    huge = st.sampled_from(HUGE_COUNTS + [10**8, 0, 1])
    damage = draw(st.sampled_from(["count", "zero-width rows", "stop reason"]))
    counts = [k for k in ("members", "dim", "objective_count", "iterations", "evaluations")
              if k in state]
    if damage == "count":
        state[draw(st.sampled_from(counts))] = draw(huge)
    elif damage == "stop reason":
        state["stop_reason"] = draw(st.sampled_from(FOREIGN_STOP_REASONS))
    elif "members" in state:
        objectives = draw(st.sampled_from([0, state["front_history"][0]]))
        state.update(members=draw(huge), dim=0, objective_count=0, positions=b"", objectives=b"")
        state["front_history"] = (objectives, draw(st.sampled_from(
            [[0, draw(huge)], [0, 1, 2], [0, 0, 2], list(range(4))])), b"")
    else:
        state["history"] = (draw(huge), 0, draw(huge), b"")
    return state
