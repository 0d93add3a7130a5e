// The long docstrings of the module's functions and classes, kept out of the logic. A function's
// docstring starts with its signature line and "--", from which CPython derives
// __text_signature__ (and so inspect.signature).
#include "docstrings.hpp"

namespace corvalinth::py::docs {

const char* const minimize = R"doc(minimize(objective, bounds, integer=False, n_particles=30, max_iter=100, w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", topology="global", seed=None, record_history=True, v_max=None, patience=0, tol=0.0, constraints=None, penalty=1e6, binary=False, max_evals=None, target=None, max_time=None, callback=None, bounds_handling="clamp", vectorized=False, var_types=None, dim=None, equality_constraints=None, repair=None)
--

Minimizes an objective function with Particle Swarm Optimization.

The objective can be any Python *callable*, or the name of a native benchmark, which
is much faster and, when no callback is given, runs without holding the GIL.

Args:
    objective: callable ``f(list[float]) -> float`` to minimize, OR the name
        (str) of a native benchmark: ``"sphere"``, ``"rastrigin"``,
        ``"rosenbrock"``, ``"ackley"``, ``"griewank"``, ``"schwefel"``, and
        the CEC-family ``"bent_cigar"``, ``"discus"``, ``"elliptic"``,
        ``"zakharov"``, ``"levy"``, ``"expanded_schaffer"``.
    bounds: either a list of ``(min, max)`` pairs (one per dimension, so each
        dimension can have its own range) or a single ``(min, max)`` pair
        used for every dimension (then pass ``dim``).
    integer (bool): if ``True``, optimizes over integer variables (the
        position is discretized by rounding when evaluated). Defaults to ``False``.
    n_particles (int): swarm size. Defaults to 30.
    max_iter (int): number of iterations. Defaults to 100.
    w (float): inertia weight (``"inertia"`` variant). Defaults to 0.729.
    c1 (float): cognitive coefficient (attraction to the personal best).
    c2 (float): social coefficient (attraction to the neighborhood best).
    velocity (str): velocity variant: ``"inertia"``, ``"constriction"``
        or ``"fips"``. Defaults to ``"inertia"``. ``"constriction"`` and
        ``"fips"`` derive their factor from ``c1 + c2`` (use 2.05/4.1 if the
        sum does not exceed 4).
    topology (str): social structure: ``"global"``, ``"ring"``,
        ``"vonneumann"`` or ``"random"``. Defaults to ``"global"``. FIPS
        performs better with local topologies (``"ring"``, ``"vonneumann"``).
    seed (int | None): RNG seed. Fix it for reproducible runs. Defaults to
        ``None`` (system seed).
    record_history (bool): if ``True`` (the default), stores the swarm
        trace for visualization. Disable it to save memory and time.
    v_max (float | None): if set, clamps every velocity component to
        ``[-v_max, v_max]`` after each update. Defaults to ``None`` (off).
    patience (int): early stopping. Stop when the global best does not
        improve by more than ``tol`` for ``patience`` consecutive
        iterations. ``0`` (default) disables it (always runs ``max_iter``).
    tol (float): minimum improvement counted as progress for the
        ``patience`` window. Defaults to ``0.0``.
    constraints (list[callable] | None): inequality constraints, each a
        callable ``g(x) -> float`` that is feasible when ``g(x) <= 0``. A
        quadratic penalty ``penalty * sum(max(0, g(x))**2)`` is added to the
        objective. Requires ``objective`` to be a Python callable (not a
        native benchmark name). Defaults to ``None``.
    penalty (float): weight of the constraint penalty (shared by the
        inequality and equality terms). Defaults to ``1e6``.
    equality_constraints (list[callable] | None): equality constraints, each
        a callable ``h(x) -> float`` that is feasible when ``h(x) == 0``. A
        quadratic penalty ``penalty * sum(h(x)**2)`` is added to the
        objective. Like ``constraints``, requires a Python objective (not a
        native benchmark). Defaults to ``None``. Note: equality constraints
        are sensitive to ``penalty`` — a very large value (e.g. the ``1e6``
        default) makes the feasible valley so steep the swarm converges onto
        a feasible but sub-optimal point; moderate weights (``1e3``-``1e4``)
        usually balance feasibility and objective better. For hard equalities
        a ``repair`` operator is often more robust.
    repair (callable | None): a repair operator ``repair(x) -> x'`` applied
        to each candidate before it is evaluated, mapping infeasible points
        back to (or towards) the feasible region. The objective and the
        constraints see the repaired point, and the returned
        ``best_position`` is repaired too, so the reported solution is
        consistent with its value. Requires a Python objective. Defaults to
        ``None``.
    binary (bool): if ``True``, optimize over binary variables ``{0, 1}``
        (a {0,1} integer space); the dimension is taken from ``bounds``.
        Defaults to ``False``.
    max_evals (int | None): stop after this many objective evaluations.
    target (float | None): stop as soon as the best value is ``<= target``.
    max_time (float | None): stop after this many seconds of wall-clock time.
    callback (callable | None): called once per iteration as
        ``callback(iteration, best_value)``. Return ``False`` to stop early
        (reported as ``stop_reason="callback"``); ``None`` or any other
        return continues. Useful for live logging or custom stopping.
    bounds_handling (str): what to do with particles that leave the bounds:
        ``"clamp"`` (default), ``"reflect"``, ``"wrap"`` or ``"reinit"``.
    vectorized (bool): if ``True``, ``objective`` receives the WHOLE swarm
        per call as a NumPy array (shape ``n_particles x dim``) and must
        return one value per row. This lets a NumPy-vectorized objective
        amortize its overhead over the swarm. Uses synchronous updates;
        incompatible with native benchmarks, constraints and callback.
        Defaults to ``False``.
    var_types (list[str] | None): per-dimension variable types for a mixed
        problem — each ``"real"``, ``"integer"`` or ``"binary"`` (same
        length as ``bounds``). Integer/binary dimensions come back as
        whole-valued floats. Takes precedence over ``integer``/``binary``.
    dim (int | None): number of dimensions when ``bounds`` is a single
        ``(min, max)`` pair (ignored when ``bounds`` is already a list).

Returns:
    PsoResult: with ``best_position``, ``best_value``, ``convergence`` and
    ``history``.

Raises:
    KeyError: if the name of a non-existent native benchmark is passed.
    ValueError: if the variant or topology does not exist.
    Exception: propagates any error raised by the Python ``objective``.

Example:
    >>> import corvalinth as pso
    >>> r = pso.minimize("rastrigin", bounds=[(-5.12, 5.12)] * 2, seed=42)
    >>> r.best_value < 1e-3
    True
    >>> r = pso.minimize(lambda x: sum(xi*xi for xi in x),
    ...                  bounds=[(-5, 5)] * 3, velocity="fips", topology="ring"))doc";

const char* const pso_result = R"doc(Result of an optimization.

Attributes:
    best_position (list[float]): best position found, already decoded
        to the space's type (integers if ``integer=True``).
    best_value (float): objective function value at ``best_position``.
    convergence (list[float]): global best value after each iteration (the
        convergence curve, useful for ``viz.plot_convergence``).
    history (list[list[list[float]]]): positions of all particles
        per iteration, indexed ``history[iteration][particle][dimension]``.
        Empty if run with ``record_history=False``. Required for
        ``viz.animate_swarm``.
    evaluations (int): total number of objective evaluations performed.
    stop_reason (str): why the run stopped — one of ``"max_iterations"``,
        ``"target"``, ``"max_evaluations"``, ``"stagnation"``, ``"max_time"``,
        ``"callback"``.)doc";

const char* const pso_result_best_position = "Best position found (list of floats).";
const char* const pso_result_convergence = "Convergence curve: best value per iteration.";
const char* const pso_result_history =
    "Positions per iteration: history[iter][particle][dim]. Empty if\nrecord_history=False.";
const char* const pso_result_evaluations = "Total number of objective evaluations performed.";
const char* const pso_result_stop_reason =
    "Why the run stopped (see the class docstring for the values).";
const char* const pso_result_best_value = "Best objective function value.";

}  // namespace corvalinth::py::docs
