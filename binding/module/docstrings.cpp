// The long docstrings of the module's functions and classes, kept out of the logic. A function's
// docstring starts with its signature line and "--", from which CPython derives
// __text_signature__ (and so inspect.signature).
#include "binding/module/docstrings.hpp"

// The texts are laid out as they read, one raw string each, whatever their length: the
// formatter would move a long signature line off its declaration at every edit of the text.
// clang-format off
namespace corvalinth::py::docs {

const char* const minimize = R"doc(minimize(objective, bounds, integer=False, n_particles=30, max_iter=100, w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", topology="global", seed=None, record_history=True, v_max=None, patience=0, tol=0.0, constraints=None, penalty=1e6, binary=False, max_evals=None, target=None, max_time=None, callback=None, bounds_handling="clamp", vectorized=False, var_types=None, dim=None, equality_constraints=None, repair=None, *, x0=None, restart_patience=0, restart_tol=0.0, restart_spread=1.0, preset=None, equality_tol=1e-4, args=(), record_evaluations=False, constraint_handling="penalty", local_search=None, local_search_share=0.2)
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
        used for every dimension (then pass ``dim``). Or a dict naming the
        parameters, each ``(low, high)`` (real), ``("log", low, high)`` (real
        on a log scale), ``("int", low, high)`` (int) or a list of choices:
        the objective (and the constraints) then receive a dict, the result
        has ``best_params``, and ``x0`` may be given as dicts.
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
        incompatible with native benchmarks. Constraints and ``repair``
        then take the whole array too (see below). Defaults to ``False``.
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
    ...                  bounds=[(-5, 5)] * 3, velocity="fips", topology="ring")

Stopping a run:
    The first exception raised by the objective, a constraint, ``repair``
    or ``callback`` ends the run at once: no user code is called after it,
    and the exception is raised. Ctrl-C raises ``KeyboardInterrupt`` within
    a few milliseconds, native runs included (whatever the installed SIGINT
    handler raises propagates the same way; a handler that returns lets the
    run go on). The budgets ``max_evals`` and ``max_time`` are checked at
    the end of each iteration, so with a slow objective they may be
    overshot by up to one iteration.

Vectorized runs with a callback:
    With ``vectorized=True`` a ``callback`` is accepted too: it is called
    once per iteration, after the whole swarm's values were taken, exactly
    where the per-particle loop calls it.

Vectorized constraints and repair:
    With ``vectorized=True`` each constraint and equality constraint
    receives the same ``(n_particles, dim)`` array as the objective and
    returns one value per row; ``repair`` receives the array and returns
    an array of the same shape, which the objective and the constraints
    see instead. Every row is penalised exactly as the per-particle form
    penalises that point.

Feasibility of the result:
    ``PsoResult.violation`` is the total constraint violation at
    ``best_position``: the sum of ``max(0, g(x))`` over ``constraints``
    plus the sum of ``max(0, |h(x)| - equality_tol)`` over
    ``equality_constraints`` (a NaN constraint value counts as ``inf``).
    The constraints are called once more at the reported position to
    compute it; these calls are not counted in ``evaluations``.
    ``PsoResult.feasible`` is ``violation == 0``. A penalised run may end
    on a slightly infeasible point: check ``feasible``.

Keyword-only arguments:
    x0 (list[float] | list[list[float]] | None): warm start: one starting
        point, or ``k <= n_particles`` of them (a ``(k, dim)`` array works
        too), that become the starting positions of particles ``0..k-1``.
        The initial positions and velocities are still drawn as without
        ``x0``, so the random stream and every other particle are the same;
        only those positions are replaced, and they are decoded (rounded in
        integer dimensions) and repaired like any position. Every point
        must have one value per dimension and lie within ``bounds``, or a
        ``ValueError`` naming ``x0`` is raised. Defaults to ``None``.
    restart_patience (int): when the swarm's best personal best has not
        improved by more than ``restart_tol`` for this many iterations in a
        row, every particle is drawn afresh (position, then velocity) and
        forgets its personal best; the result, the convergence curve and
        every stop test keep the best value ever seen. ``0`` never
        restarts. Defaults to ``0``.
    restart_tol (float): the improvement a restart count needs to start
        over. Defaults to ``0.0``.
    restart_spread (float): in ``(0, 1]``: each restarted position ``x``
        and velocity ``v`` become ``g + (x - g) * s`` and ``v * s``, ``g``
        the best position so far. ``1.0`` searches the whole box again; a
        smaller value searches around the best. Defaults to ``1.0``.
    preset (str | None): ``"robust"`` fills every setting the call does
        not pass with the configuration that reached the most targets per
        evaluation on the bbob suite: ``n_particles=20``, ``w=0.6``,
        ``c1=c2=1.7``, ``bounds_handling="reflect"``,
        ``restart_patience=50``, ``local_search="nelder-mead"`` (not with
        ``constraint_handling="feasibility"``, where the swarm measured
        better on the last share of the budget). When ``max_evals`` or ``max_time`` is given
        and ``max_iter`` is not, the budget alone bounds the run (with
        ``max_time`` alone and a long run, pass ``record_history=False``:
        the history grows with every iteration). A setting the call passes
        is kept, even at its default value. Defaults to ``None``.
    equality_tol (float): how far ``|h(x)|`` may be from zero for an
        equality constraint to count as satisfied in ``violation`` and
        ``feasible`` of the result; a finite value ``>= 0``. Defaults to
        ``1e-4``.
    args (tuple): extra arguments passed to the objective after the point,
        ``objective(x, *args)``, as in ``scipy.optimize.minimize`` (a value
        that is not a tuple is passed as the one extra argument). Only the
        objective receives them: constraints, ``repair`` and callbacks are
        called as without ``args``, as scipy passes constraints their own
        arguments. A vectorised objective receives them after the array.
        Defaults to ``()``.
    record_evaluations (bool): keep every evaluation, in evaluation order,
        in the result: ``evaluations_array()`` has one row per evaluation,
        the decoded point and then the value the run was given (with the
        penalty when there are constraints); ``recorded_evaluations`` the
        same rows as lists. Pickled and in ``to_dict``. An evaluation that
        raised is not recorded. The run itself is unchanged, bit for bit.
        Defaults to ``False``.
    constraint_handling (str): how points with constraints compare.
        ``"penalty"`` (default) adds the quadratic penalties above to the
        value. ``"feasibility"`` ranks points by the feasibility rules
        instead, with no weight to tune: a feasible point beats an
        infeasible one, two infeasible points compare by their total
        violation (as ``PsoResult.violation`` measures it, with
        ``equality_tol``) and two feasible ones by value; ties of violation
        fall to the value, and a NaN value ranks after every number of the
        same violation. It applies to personal, neighbourhood and global
        bests, to ``patience``/``tol`` and restarts (progress is a fall of
        the violation while infeasible, then of the value), and ``target``
        is reached only by a feasible point. ``penalty`` is then unused, and
        ``best_value``, the convergence trace and the recorded evaluations
        hold unpenalised values. Without constraints both are the same run.
        With ``local_search`` the simplex ranks its vertices by the same
        rules, and the answer is never ranked after the swarm's best.
    local_search (str | None): ``"nelder-mead"`` ends the run with a local
        search: once only ``local_search_share`` of the evaluation budget is
        left, the swarm stops and a Nelder-Mead simplex starts from the best
        position (first simplex: 5 % of the box's width per dimension) and
        runs to the end of the budget, starting again around its best vertex
        whenever it collapses. Its points are clipped to ``bounds``; integer
        and binary dimensions are searched continuously and rounded like the
        particles' positions. The budget is ``max_evals``, or
        ``(max_iter + 1) * n_particles`` when that is smaller (with
        ``max_time`` alone the phase never starts). Each round of the search
        (the first simplex, a reflection, an expansion, a contraction, a
        shrink) counts as one iteration: ``callback``, ``patience`` and every
        stop test apply after it, ``convergence`` and ``history`` grow by one
        (the particles rest), and ``max_iter`` no longer ends the run, the
        budget does. A vectorised objective receives the round's points.
        ``None`` keeps the swarm to the end. Defaults to ``None``.
    local_search_share (float): in ``(0, 1]``: the fraction of the
        evaluation budget kept for ``local_search``. Defaults to ``0.2``.)doc";

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
        ``"callback"``.
    violation (float): total constraint violation at ``best_position``
        (``0.0`` without constraints; see ``minimize``).
    feasible (bool): ``True`` when ``violation == 0``.)doc";

const char* const pso_result_recorded_evaluations =
    "Every evaluation in evaluation order when run with record_evaluations=True: one\n"
    "list per evaluation, the decoded point then its value. Empty otherwise.";
const char* const pso_result_evaluations_array = R"doc(evaluations_array($self)
--

The recorded evaluations as a read-only float64 NumPy array of shape
``(evaluations, dim + 1)``, sharing the result's storage: row ``k`` holds
the ``k``-th point evaluated (decoded) and then its value. It has no
rows unless run with ``record_evaluations=True``.)doc";
const char* const pso_result_x = "Alias of best_position (scipy's name).";
const char* const pso_result_fun = "Alias of best_value (scipy's name).";
const char* const pso_result_nit = "Alias of iterations (scipy's name).";
const char* const pso_result_nfev = "Alias of evaluations (scipy's name).";
const char* const pso_result_success =
    "True when the run ended by one of its own stopping rules, False for a partial result\n"
    "(\"interrupted\", \"error\") (scipy's name).";
const char* const pso_result_message = "Why the run ended, in one sentence (scipy's name).";

const char* const pso_result_best_position = "Best position found (list of floats).";
const char* const pso_result_convergence = "Convergence curve: best value per iteration.";
const char* const pso_result_history =
    "Positions per iteration: history[iter][particle][dim]. Empty if\nrecord_history=False.";
const char* const pso_result_evaluations = "Total number of objective evaluations performed.";
const char* const pso_result_stop_reason =
    "Why the run stopped (see the class docstring for the values).";
const char* const pso_result_best_value = "Best objective function value.";

const char* const optimizer = R"doc(Optimizer(bounds, *, integer=False, binary=False, var_types=None, dim=None, n_particles=30, max_iter=100, w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", topology="global", seed=None, record_history=True, v_max=None, patience=0, tol=0.0, max_evals=None, target=None, bounds_handling="clamp", batch=False, x0=None, restart_patience=0, restart_tol=0.0, restart_spread=1.0, preset=None, asynchronous=False, penalty=1e6, equality_tol=1e-4, record_evaluations=False, progress=False, constraint_handling="penalty", local_search=None, local_search_share=0.2)
--

A single-objective swarm run driven by the caller: ``ask()`` hands out the
next point(s) to evaluate, ``tell()`` takes their objective value(s) back.

Use it when the objective cannot be a Python function the library calls: a
batch job, a measurement, a service, a cluster with its own scheduler. Every
parameter means what it means for ``minimize``, with the same default and the
same errors. With ``batch=False`` one point is asked at a time, and each move
sees the value told before it (the loop of ``minimize``); with ``batch=True``
the whole swarm is asked at once as an ``(n_particles, d)`` float64 array
(the loop of ``minimize(..., vectorized=True)``). Driven with the values of
an objective, the run is the run ``minimize`` makes with the same arguments,
bit for bit: ``result()`` equals its ``PsoResult``.

Checkpoints: ``pickle.dumps(optimizer)`` works at any point, between an
``ask()`` and its ``tell()`` too, and the unpickled optimizer continues on
exactly the same trajectory. The pickle holds the constructor arguments and
the run's state (generator, swarm, bests, counters, stall and restart counts,
history) in
a versioned binary format; a state of another format version is refused with
a ``ValueError``.

Attributes:
    done (bool): the run has stopped; ``result()`` is available.
    stop_reason (str | None): why the run stopped, as in ``PsoResult``;
        ``None`` while running.
    iteration (int): completed iterations.
    evaluations (int): values told so far.
    best_value (float | None): best value so far; ``None`` until the first
        swarm was evaluated.
    best_position (list | None): best position so far, decoded.
    events (list | None): with ``asynchronous=True``, every ask and tell so
        far in order: ``(ticket, None)`` for an ask, ``(ticket, value)`` for a
        tell. Replaying them on a new optimizer with the same arguments gives
        the same run. ``None`` for the synchronous forms.
    out (list | None): with ``asynchronous=True``, the ``(ticket, point)``
        pairs handed out and not yet told, in ask order (an optimizer restored
        from a pickle still waits for them); ``None`` for the synchronous forms.

Keyword-only arguments:
    batch (bool): if ``True``, ``ask()`` hands out the whole swarm and
        ``tell()`` takes one value per particle, as described above.
        Defaults to ``False``.
    x0 (list[float] | list[list[float]] | None): warm start: the first
        particles start at these points, as in ``minimize``. Defaults to
        ``None``.
    asynchronous (bool): if ``True``, ``ask()`` returns ``(ticket, point)``
        and may be called again before earlier values are back, up to
        ``n_particles`` points out at once; ``tell(ticket, value)`` takes
        the values in any order, and each particle moves as soon as its own
        value is back, reading the bests as they are then. ``ask()``
        returns ``None`` when every particle is out (or, while the swarm is
        created, waits for the first values of the others). The same
        sequence of asks and tells gives the same run bit for bit;
        ``events`` records it. Not with ``batch=True``, nor with restarts
        (``restart_patience``, ``preset="robust"``) or ``local_search``.
        Defaults to ``False``.
    penalty (float): weight of the penalty on constraint values told with
        ``tell()``, as in ``minimize``. Defaults to ``1e6``.
    equality_tol (float): tolerance of the told equality constraint values
        in ``result().violation``, as in ``minimize``. Defaults to ``1e-4``.
    record_evaluations (bool): keep every told value with its point in
        ``result()``, in the order told, as ``minimize`` keeps its
        evaluations (``evaluations_array()``); the record is pickled with
        the optimizer, so a resumed run's result holds the whole run's.
        Defaults to ``False``.
    progress (bool): show how far the run has come, a
        ``corvalinth.progress.bar(max_iter)`` on standard error that each
        ``tell()`` completing an iteration updates (tqdm when installed) and
        the end of the run closes. An optimizer restored from a pickle
        counts on from its own iteration. Defaults to ``False``.
    constraint_handling (str): ``"penalty"`` (default) or
        ``"feasibility"``: how points with told constraint values compare,
        as in ``minimize``. The asynchronous form takes no constraint
        values, so it ignores it.
    local_search (str | None): the final local phase, as in ``minimize``:
        ``ask()`` then hands out the search's points (with ``batch=True``,
        the points of a round, one row each) and ``tell()`` takes one value
        per point. Not with ``asynchronous=True``. Defaults to ``None``.
    local_search_share (float): the fraction of the budget kept for
        ``local_search``. Defaults to ``0.2``.

Every parameter after ``bounds`` is keyword-only; the others are
``minimize``'s, with the same names and defaults (``preset="robust"``
unbounds ``max_iter`` when ``max_evals`` is given, and a checkpoint keeps
the restart count).

Example:
    >>> opt = Optimizer([(-5, 5)] * 2, n_particles=10, max_iter=20, seed=1)
    >>> while not opt.done:
    ...     x = opt.ask()
    ...     opt.tell(sum(v * v for v in x))
    >>> opt.result().evaluations
    210)doc";

const char* const optimizer_ask = R"doc(ask($self, /)
--

The next point to evaluate: a list (of int in integer spaces, of float
otherwise), or with ``batch=True`` the whole swarm as an ``(n, d)`` float64
array. Asking again before telling returns the same point(s). With
``asynchronous=True``, a ``(ticket, point)`` pair, a new one on every call,
or ``None`` while no particle is free. When ``bounds`` name the parameters
(a dict), each point is a dict of them, and the batch form a list of dicts.

Raises:
    ValueError: the run is done.)doc";

const char* const optimizer_tell = R"doc(tell($self, /, *args, constraints=None, equality_constraints=None)
--

``tell(value)`` reports the objective value of the last ``ask()``: a
number, or with ``batch=True`` one value per particle (a sequence or a 1-D
float64 array). With ``asynchronous=True``, ``tell(ticket, value)`` reports
the value of the point handed out under ``ticket``, in any order.

``constraints`` and ``equality_constraints`` are the values of the
inequality (``g(x) <= 0``) and equality (``h(x) == 0``) constraints at the
asked point: one number per constraint, or with ``batch=True`` one row per
particle (an ``(n, k)`` array or a list of rows). They are used as
``minimize`` uses its constraints' answers (``penalty`` and
``equality_tol`` of the optimizer), so telling the values of the same
functions gives ``minimize``'s result bit for bit. An asynchronous run
takes no constraint values.

Raises:
    TypeError: constraint values told to an asynchronous run.
    ValueError: no ``ask()`` is waiting for its value (or the ticket is not
        out), the number of values or of constraint rows is wrong, or the run
        is done. A refused ``tell`` changes nothing.)doc";

const char* const optimizer_result = R"doc(result($self, /)
--

The ``PsoResult`` of the finished run.

Raises:
    ValueError: the run is not done yet.)doc";

const char* const multi_optimizer = R"doc(MultiOptimizer(bounds, *, n_particles=100, max_iter=100, archive_size=100, w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", seed=None, integer=False, binary=False, var_types=None, mutation_rate=0.1, dim=None, grid_divisions=None, v_max=None, bounds_handling="clamp", record_history=True, max_evals=None, x0=None, turbulence="decaying", archive_truncation="crowding", preset=None, batch=False, crossover_share=0.0, swarm_selection="none", asynchronous=False, record_evaluations=False, crossover="sbx")
--

A multi-objective swarm run driven by the caller: ``ask()`` hands out the
next point(s) to evaluate, ``tell()`` takes their objective vectors back.

Use it when the objectives cannot be a Python function the library calls:
jobs on a cluster, measurements in a lab, a service. Every parameter means
what it means for ``minimize_multi``, with the same default and the same
errors. With ``batch=False`` one point is asked at a time, and each particle
takes its vector before the next one moves (the loop of ``minimize_multi``);
with ``batch=True`` the whole swarm is asked at once as an
``(n_particles, d)`` float64 array (the loop of
``minimize_multi(..., vectorized=True)``). Driven with the vectors of an
objective, the run is the run ``minimize_multi`` makes with the same
arguments, bit for bit: ``result()`` equals its ``ParetoFront``. ``bounds``
may name the parameters (a dict, as for ``minimize_multi``): the points
handed out are then dicts.

Checkpoints: ``pickle.dumps(optimizer)`` works at any point, between an
``ask()`` and its ``tell()`` too, and the unpickled optimizer continues on
exactly the same trajectory. The pickle holds the constructor arguments and
the run's state (generator, swarm, personal bests, archive, leaders,
turbulence, histories) in the versioned binary format of ``Optimizer``; a
state that does not fit the arguments is refused with a ``ValueError``.

Attributes:
    done (bool): the run has stopped; ``result()`` is available.
    stop_reason (str | None): why the run stopped, as in ``ParetoFront``;
        ``None`` while running.
    iteration (int): completed iterations.
    evaluations (int): objective vectors told so far.
    events (list | None): with ``asynchronous=True``, every ask and tell so
        far in order: ``(ticket, None)`` for an ask, ``(ticket, values)`` for
        a tell. Replaying them on a new optimizer with the same arguments
        gives the same run. ``None`` for the synchronous forms.
    out (list | None): with ``asynchronous=True``, the ``(ticket, point)``
        pairs handed out and not yet told, in ask order; ``None`` for the
        synchronous forms.

Keyword-only arguments:
    x0 (list[float] | list[list[float]] | None): warm start: the first
        particles start at these points, as in ``minimize_multi``. Defaults
        to ``None``.
    batch (bool): if ``True``, ``ask()`` hands out the whole swarm and
        ``tell()`` takes one row of objective values per particle, as
        described above. Defaults to ``False``.
    asynchronous (bool): if ``True``, ``ask()`` returns ``(ticket, point)``
        and may be called again before earlier vectors are back, up to
        ``n_particles`` points out at once; ``tell(ticket, values)`` takes
        the vectors in any order. Each particle moves as soon as its own
        vector is back, flying towards a leader of the archive as the last
        completed pass left it, and the archive takes each point when it is
        told. ``ask()`` returns ``None`` when every particle is out (or,
        while the swarm is created, waits for the first vectors of the
        others). The same sequence of asks and tells gives the same front
        bit for bit; ``events`` records it. Not with ``batch=True`` nor
        with ``swarm_selection="nondominated"`` (``preset="robust"`` leaves
        it out here). Defaults to ``False``.
    record_evaluations (bool): keep every told vector with its point in
        ``result()``, in the order told, as ``minimize_multi`` keeps its
        evaluations; the record is pickled with the optimizer, so a resumed
        run's result holds the whole run's. Defaults to ``False``.

Every parameter after ``bounds`` is keyword-only; the others are
``minimize_multi``'s, with the same names and defaults. A restored run
measures nothing against a clock, so there is no ``max_time``.

Example:
    >>> opt = MultiOptimizer([(0, 1)] * 2, n_particles=10, max_iter=20, seed=1)
    >>> while not opt.done:
    ...     x = opt.ask()
    ...     opt.tell([x[0], 1 - x[0] + x[1]])
    >>> opt.result().evaluations
    210)doc";

const char* const multi_optimizer_ask = R"doc(ask($self, /)
--

The next point to evaluate: a list (of int in integer spaces, of float
otherwise), or with ``batch=True`` the whole swarm as an ``(n, d)`` float64
array. Asking again before telling returns the same point(s). With
``asynchronous=True``, a ``(ticket, point)`` pair, a new one on every call,
or ``None`` while no particle is free. When ``bounds`` name the parameters,
each point is a dict of them, and the batch form a list of dicts.

Raises:
    ValueError: the run is done.)doc";

const char* const multi_optimizer_tell = R"doc(tell($self, /, *args)
--

``tell(values)`` reports the objective vector of the last ``ask()``: a
sequence of numbers (one per objective, all minimised), or with
``batch=True`` one row per particle (an ``(n, m)`` array or a list of rows).
With ``asynchronous=True``, ``tell(ticket, values)`` reports the vector of
the point handed out under ``ticket``, in any order. Every vector of a run
has as many values as the first one told.

Raises:
    TypeError: the wrong number of arguments for the form.
    ValueError: no ``ask()`` is waiting for its values (or the ticket is not
        out), the number of rows or of objective values is wrong, or the run
        is done. A refused ``tell`` changes nothing.)doc";

const char* const multi_optimizer_result = R"doc(result($self, /)
--

The ``ParetoFront`` of the finished run.

Raises:
    ValueError: the run is not done yet.)doc";


const char* const optimizer_reduce = "Pickle support: the arguments and the saved run state.";
const char* const optimizer_done = "True once the run has stopped.";
const char* const optimizer_stop_reason = "Why the run stopped, or None while running.";
const char* const optimizer_iteration = "Number of completed iterations.";
const char* const driven_evaluations =
    "Number of evaluations told so far: objective values, or vectors of a MultiOptimizer.";
const char* const driven = R"doc(What Optimizer and MultiOptimizer share: a swarm run driven by its caller
through ``ask()`` and ``tell()``. Not instantiated itself.)doc";
const char* const driven_ask = R"doc(ask($self, /)
--

The next point(s) to evaluate, as the class describes.)doc";
const char* const optimizer_best_value = "Best value so far, or None before the first evaluations.";
const char* const optimizer_events =
    "With asynchronous=True, every ask and tell so far: (ticket, None) or (ticket, value).";
const char* const optimizer_out =
    "With asynchronous=True, the (ticket, point) pairs handed out and not yet told.";
const char* const optimizer_best_position =
    "Best position so far (decoded), or None before the first evaluations.";


const char* const minimize_multi = R"doc(minimize_multi(objective, bounds, n_particles=100, max_iter=100, archive_size=100, w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", seed=None, integer=False, binary=False, var_types=None, mutation_rate=0.1, dim=None, grid_divisions=None, v_max=None, bounds_handling="clamp", record_history=True, *, vectorized=False, callback=None, max_evals=None, max_time=None, x0=None, turbulence="decaying", archive_truncation="crowding", preset=None, args=(), record_evaluations=False, constraints=None, equality_constraints=None, equality_tol=1e-4, crossover_share=0.0, swarm_selection="none", crossover="sbx")
--

Multi-objective optimization (MOPSO). Returns the Pareto front.

Args:
    objective: callable ``f(list) -> list[float]`` returning one value per
        objective (all minimized).
    bounds (list[tuple[float, float]]): ``(min, max)`` per dimension, or a
        dict naming the parameters as in ``minimize`` (the objective then
        receives a dict, and ``params`` of the front holds the members').
    n_particles (int): swarm size. Defaults to 100.
    max_iter (int): iterations. Defaults to 100.
    archive_size (int): maximum Pareto-front size. Defaults to 100.
    w, c1, c2 (float): velocity coefficients.
    velocity (str): ``"inertia"`` or ``"constriction"`` (single-leader
        rules; ``"fips"`` is not applicable to MOPSO), or
        ``"speed_constrained"``: constriction with ``c1`` and ``c2`` drawn
        in [1.5, 2.5] at every move (the given ones are not used) and ``w``
        as the inertia weight, each velocity component then limited to half
        its variable's width.
    seed (int | None): RNG seed.
    integer (bool), binary (bool), var_types (list[str] | None): same
        meaning as in ``minimize``.
    mutation_rate (float): turbulence strength in [0, 1] (default 0.1);
        improves front spread. ``0`` disables it.
    dim (int | None): number of dimensions when ``bounds`` is a single
        ``(min, max)`` pair, as in ``minimize``.
    grid_divisions (int | None): archive diversity strategy. ``None``
        (default) keeps the most isolated members by crowding distance;
        an int ``d`` uses Coello's adaptive hypercube grid with ``d``
        divisions per objective (pruning drops members from the most crowded
        cell, leaders are drawn towards sparser cells), which tends to spread
        the front more evenly.
    v_max (float | None): optional per-component velocity clamp, as in
        ``minimize``. Defaults to ``None``.
    bounds_handling (str): what to do with particles that leave the bounds —
        ``"clamp"`` (default), ``"reflect"``, ``"wrap"`` or ``"reinit"``, as
        in ``minimize``.
    record_history (bool): if ``True`` (the default), records the swarm and
        the Pareto front per iteration (``swarm_history``/``front_history``)
        for visualization. Disable to save memory.

Returns:
    ParetoFront: with ``positions``, ``objectives`` and, unless disabled,
    ``swarm_history`` and ``front_history``.

Stopping a run:
    An exception raised by ``objective`` ends the run at once and is
    raised; so does Ctrl-C, as in ``minimize``.

Keyword-only arguments:
    vectorized (bool): if ``True``, ``objective`` receives the whole swarm
        per call as a float64 NumPy array of shape ``(n_particles, dim)``
        (decoded points, one per row) and returns an ``(n_particles, m)``
        array-like: a NumPy array or a sequence of rows, one row of ``m``
        objective values per particle, the same ``m`` in every call. In
        every iteration all particles first draw their leader, move and
        take their turbulence, in particle order, as in the per-particle
        form; then one call evaluates them; then each particle in order
        updates its personal best (drawing its coin on a tie) and is
        offered to the archive. The leaders of an iteration are fixed at
        its start in both forms, so the batch form differs from the
        per-particle form only in drawing the personal-best coins after
        all the moves instead of between them; the initial swarm is the
        same. A wrong number of rows, or rows of unequal length, is a
        ``ValueError``. Defaults to ``False``. Through
        ``corvalinth.parallel.batch`` the rows can be evaluated on a
        process pool or a cluster.
    callback (callable | None): called after each iteration as
        ``callback(iteration, front_size)``, where ``front_size`` is the
        number of members the front would have if the run stopped there.
        Return ``False`` to stop (reported as
        ``ParetoFront.stop_reason == "callback"``); ``None`` or any other
        return continues.
    max_evals (int | None): stop once this many objective vectors were
        computed (``"max_evaluations"``).
    max_time (float | None): stop after this many seconds of wall-clock
        time (``"max_time"``).
    x0 (list[float] | list[list[float]] | None): warm start, as in
        ``minimize``: one point or ``k <= n_particles`` points that replace
        the drawn starting positions of the first ``k`` particles.
    turbulence (str): ``"decaying"`` (default) redraws one coordinate in a
        window that shrinks over the run, with probability ``mutation_rate``
        times the same decay; ``"polynomial"`` applies polynomial mutation
        (distribution index 20) to every sixth particle, each variable with
        probability ``1 / dim``. ``mutation_rate <= 0`` disables either.
    archive_truncation (str): how a full archive is cut back.
        ``"crowding"`` (default) drops the most crowded members (or uses
        the grid when ``grid_divisions`` is given); ``"hypervolume"`` drops,
        one at a time, the member whose exclusive hypervolume contribution
        is smallest (reference: the members' worst value per objective plus
        a tenth of the spread), which keeps the front with the most
        hypervolume; each cut costs O(n log n). With four or more
        objectives a cut would cost one hypervolume per member, so the
        archive is cut by crowding there. Leaders are still drawn by
        crowding.
    preset (str | None): ``"robust"`` sets what the call does not pass:
        ``velocity="speed_constrained"``, ``w=0.4``,
        ``turbulence="polynomial"``, ``crossover_share=0.3``,
        ``crossover="de"``, ``swarm_selection="nondominated"`` and, unless
        ``grid_divisions`` is set, ``archive_truncation="hypervolume"``; and
        when ``max_evals`` or
        ``max_time`` is set and ``max_iter`` is not passed, the run has no
        iteration limit and those budgets end it. Measured on the
        bi-objective COCO suite and on DTLZ problems against evolutionary
        algorithms at equal evaluations (see the multi-objective guide).
    args (tuple): extra arguments passed to the objective after the point,
        ``objective(x, *args)``, as in ``scipy.optimize.minimize`` (a value
        that is not a tuple is passed as the one extra argument). Only the
        objective receives them: constraints and callbacks are
        called as without ``args``, as scipy passes constraints their own
        arguments. A vectorised objective receives them after the array.
        Defaults to ``()``.
    record_evaluations (bool): keep every evaluation, in evaluation order,
        in the front: ``evaluations_array()`` has one row per evaluation,
        the decoded point and then its objective vector;
        ``recorded_evaluations`` the same rows as lists. Pickled and in
        ``to_dict``. An evaluation that raised is not recorded. The run
        itself is unchanged, bit for bit. Defaults to ``False``.
    constraints (list[callable] | None): inequality constraints, each a
        callable ``g(x) -> float`` that is feasible when ``g(x) <= 0``,
        called on its own copy of the point (with ``vectorized=True`` on the
        whole ``(n, dim)`` array, answering one value per row). Points are
        compared by constrained domination: a feasible point dominates an
        infeasible one, of two infeasible points the smaller total violation
        dominates, and between equal violations Pareto dominance decides; so
        once a feasible point was found only feasible points enter the
        archive, and before that the least-violating ones. Personal bests and
        the leaders follow the same rule. Defaults to ``None``.
    equality_constraints (list[callable] | None): equality constraints
        ``h(x) -> float``, feasible when ``|h(x)| <= equality_tol``, taken as
        ``constraints`` are. Defaults to ``None``.
    equality_tol (float): tolerance of the equality constraints in the total
        violation, which sums ``max(0, g(x))`` and
        ``max(0, |h(x)| - equality_tol)`` (a NaN value counts as ``inf``), as
        ``PsoResult.violation`` does; ``ParetoFront.violations`` reports it
        per member. Defaults to ``1e-4``.
    crossover_share (float): the share, in ``[0, 1]``, of particle moves
        that are a crossover of the archive instead of a flight: in each
        iteration each particle takes it with this probability, and its new
        position is a child of two archive members (one by the leaders'
        tournament, one at random) by simulated binary crossover
        (distribution index 20, each variable with probability 1/2), then
        polynomial mutation; its velocity is kept. It spreads the front (a
        larger final set) at the cost of some flights. Defaults to ``0.0``
        (off, and the run draws nothing for it).
    swarm_selection (str): how the next swarm is formed after each
        iteration. ``"none"`` (default): each particle keeps its personal
        best by dominance, a coin deciding between two vectors neither of
        which dominates. ``"nondominated"``: the particles' personal bests
        and their new points (twice the swarm) are ranked by non-dominated
        sorting (constrained domination with constraints), the last front
        that does not fit whole by crowding distance, and the survivors
        become the swarm, in the order of the candidates (personal bests
        first, each group in particle order): each survivor is both the
        particle's position and its personal best; a new point keeps its
        particle's velocity, a personal best starts at rest. The swarm
        itself then carries the front. With four or more objectives, where
        nearly every candidate is non-dominated and crowding ranks them
        poorly, the step is left out and personal bests are kept as with
        ``"none"``.
    crossover (str): the child the archive's crossover
        (``crossover_share``) makes. ``"sbx"`` (default): the simulated
        binary crossover described there. ``"de"``: a differential child:
        the leader from the tournament plus half the difference of the
        personal bests of two particles drawn at random, each variable
        limited to its bounds, then polynomial mutation. The step is as
        long as the swarm is wide, so children keep reaching other basins
        while the swarm still spans them. Without a crossover share it
        changes nothing.

    The callback, then ``max_evals``, then ``max_time`` are tested at the
    end of each iteration, as in ``minimize``; a run that none of them
    stops makes ``n_particles * (max_iter + 1)`` evaluations.)doc";

const char* const pareto_front_hypervolume = R"doc(hypervolume($self, reference=None)
--

Hypervolume of this front: the volume of objective space dominated by it
and bounded by ``reference`` (minimization — larger is better). The
standard single-indicator measure of front quality (convergence + spread).

Args:
    reference (list[float] | None): the bounding "worst" point, with one
        value per objective. Each value must exceed the front in that
        objective. If ``None``, it is derived from the front's nadir
        (worst value per objective + 10% of its spread); convenient for a
        single run but **not** comparable across runs — pass an explicit,
        shared reference when comparing fronts.

Returns:
    float: the hypervolume (``0.0`` for an empty front).)doc";

const char* const pareto_front = R"doc(An approximated Pareto front returned by `minimize_multi`.

Attributes:
    positions (list[list[float]]): the non-dominated decision vectors.
    objectives (list[list[float]]): their objective values (same order).
    swarm_history (list[list[list[float]]]): swarm positions per iteration,
        indexed ``swarm_history[iteration][particle][dimension]``. Empty if
        run with ``record_history=False``.
    front_history (list[list[list[float]]]): the Pareto-front objective
        snapshots per iteration, indexed
        ``front_history[iteration][member][objective]``. Lets the front's
        evolution be animated. Empty if ``record_history=False``.
    stop_reason (str): why the run stopped: ``"max_iterations"``,
        ``"callback"``, ``"max_evaluations"`` or ``"max_time"``.)doc";

const char* const minimize_grey = R"doc(minimize_grey(objective, bounds, max_spread=None, representation="interval", n_particles=30, max_iter=100, w=0.729, c1=1.49445, c2=1.49445, velocity="inertia", topology="global", seed=None, record_history=True, v_max=None, patience=0, tol=0.0, max_evals=None, target=None, max_time=None, dim=None, *, callback=None, vectorized=False, x0=None, args=())
--

Minimizes a grey objective with PSO. Each variable is a *grey number*
⊗ = ``[lower, upper]`` constrained to lie within its ``bounds``; the swarm
searches over its center and spread.

The objective can be a Python *callable* that receives the candidate as a
``list[tuple[float, float]]`` (one pair per grey variable, in the
``representation`` you choose) and returns a single ``float`` (the
whitenized scalar to minimize — e.g. via interval arithmetic and a
whitenization rule of your choice), OR the name (str) of a native grey
benchmark (``"grey_sphere"``), which runs without the GIL.

Args:
    objective: callable ``f(list[tuple[float, float]]) -> float`` to minimize,
        OR the name (str) of a native grey benchmark: ``"grey_sphere"``.
    bounds: ``(lower, upper)`` LIMITS each grey number's interval must stay
        within — either a list of pairs (one per variable) or a single pair
        with ``dim``. The whole decoded interval is kept inside these limits.
    max_spread: optional extra cap on the half-width of each grey variable —
        ``None`` (default, limited only by ``bounds``), a single float
        (broadcast) or a list of floats (one per variable).
    representation (str): how each grey number is passed to (and read from)
        the objective: ``"interval"`` (default) gives ``(lower, upper)``
        pairs; ``"center_spread"`` gives ``(center, spread)`` pairs. Does not
        affect native benchmarks. The result always exposes both forms.
    n_particles, max_iter, w, c1, c2, velocity, topology, seed,
    record_history, v_max, patience, tol, max_evals, target, max_time,
    dim: same meaning as in ``minimize``. (Grey bounds are enforced by
    projection onto the feasible region, so ``bounds_handling`` does not
    apply.)

Returns:
    GreyResult: with ``best_position`` (intervals), ``best_centers``,
    ``best_spreads``, ``best_value`` and ``convergence``.

Example:
    >>> import corvalinth as pso
    >>> # Find grey numbers whose midpoints minimize a sphere while staying crisp.
    >>> def f(greys):
    ...     centers = [(lo + hi) / 2 for (lo, hi) in greys]
    ...     spreads = [(hi - lo) / 2 for (lo, hi) in greys]
    ...     return sum(c * c for c in centers) + sum(spreads)
    >>> r = pso.minimize_grey(f, bounds=(-5, 5), dim=2, seed=42)
    >>> r.best_value < 1e-2
    True

Stopping a run:
    An exception raised by ``objective`` ends the run at once and is
    raised; Ctrl-C ends native and Python runs alike, as in ``minimize``.
    ``max_evals`` and ``max_time`` are checked at the end of each
    iteration.

Keyword-only arguments:
    callback (callable | None): called once per iteration as
        ``callback(iteration, best_value)``, as in ``minimize``; returning
        ``False`` stops the run (``stop_reason="callback"``). With a native
        benchmark the run then holds the GIL.
    vectorized (bool): if ``True``, ``objective`` receives the whole swarm
        per call as a float64 NumPy array of shape
        ``(n_particles, n_variables, 2)`` holding every particle's pairs in
        the chosen ``representation``, and returns one value per particle.
        As in ``minimize``, the bests are then updated synchronously, after
        the whole swarm was evaluated. Requires a Python objective.
        Defaults to ``False``.
    x0 (list | None): warm start: one grey vector (a list of pairs in the
        chosen ``representation``) or ``k <= n_particles`` of them, which
        become the starting positions of the first ``k`` particles; the
        random stream is the same as without ``x0``. An interval
        ``(lower, upper)`` is taken as the center ``(lower + upper) * 0.5``
        and the spread ``(upper - lower) * 0.5``; the center must lie within
        the bounds and the interval within the bounds and ``max_spread``,
        or a ``ValueError`` naming ``x0`` is raised.
    args (tuple): extra arguments passed to the objective after the point,
        ``objective(x, *args)``, as in ``scipy.optimize.minimize`` (a value
        that is not a tuple is passed as the one extra argument). Only the
        objective receives them: constraints and callbacks are
        called as without ``args``, as scipy passes constraints their own
        arguments. A vectorised objective receives them after the array.
        Defaults to ``()``.)doc";

const char* const grey_result = R"doc(Result of a grey optimization returned by `minimize_grey`.

Attributes:
    best_position (list[tuple[float, float]]): the best grey vector, one
        ``(lower, upper)`` interval per grey variable.
    best_centers (list[float]): center of each grey variable (``(lo+hi)/2``).
    best_spreads (list[float]): half-width of each grey variable
        (``(hi-lo)/2``, always ``>= 0``).
    best_value (float): objective value at ``best_position`` (the
        whitenized scalar the search minimized).
    convergence (list[float]): best value after each iteration.
    evaluations (int): total objective evaluations performed.
    stop_reason (str): why the run stopped (see ``PsoResult``).)doc";

const char* const hypervolume = R"doc(hypervolume(front, reference)
--

Hypervolume of an arbitrary set of objective vectors (minimization).

A free-standing version of :meth:`ParetoFront.hypervolume` for fronts not
produced by ``minimize_multi`` (e.g. a reference front, or one loaded from
disk for benchmarking).

Args:
    front (list[list[float]]): objective vectors, one per solution.
    reference (list[float]): the bounding "worst" point, one value per
        objective; each value must exceed the front in that objective.

Returns:
    float: the hypervolume dominated by ``front`` under ``reference``.)doc";

const char* const benchmark_info = R"doc(benchmark_info(name)
--

Metadata of a native benchmark: `(bound, optimum_value)`. `bound` is the
recommended symmetric bound per dimension. Useful for auto-adjusting plot
domains or building `bounds` without hardcoding them by hand.)doc";

const char* const grey_benchmark_info = R"doc(grey_benchmark_info(name)
--

Metadata of a native grey benchmark: ``(center_bound, max_spread,
optimum_value)``. ``center_bound`` is the recommended symmetric bound for
each grey variable's center; ``max_spread`` the recommended maximum spread.
Useful for building ``bounds``/``max_spread`` without hardcoding them.)doc";

const char* const pareto_front_positions = "Non-dominated decision vectors.";

const char* const pareto_front_swarm_history = "Swarm positions per iteration (empty if record_history=False).";

const char* const pareto_front_front_history = "Pareto-front objective snapshots per iteration (empty if\nrecord_history=False).";

const char* const pareto_front_objectives = "Objective values of each solution.";

const char* const pareto_front_stop_reason =
    "Why the run stopped: \"max_iterations\", \"callback\", \"max_evaluations\" or\n\"max_time\".";

const char* const grey_result_best_position = "Best grey vector as `(lower, upper)` intervals.";

const char* const grey_result_best_spreads = "Half-width (spread) of each grey variable.";

const char* const grey_result_best_value = "Best objective value (whitenized scalar).";

const char* const grey_result_convergence = "Convergence curve: best value per iteration.";

const char* const grey_result_evaluations = "Total number of objective evaluations performed.";

const char* const grey_result_stop_reason = "Why the run stopped.";

const char* const grey_result_best_centers = "Center of each grey variable.";

const char* const hypervolume_contributions = R"doc(hypervolume_contributions(front, reference)
--

Exclusive hypervolume contribution of every point of a front (minimization).

The contribution of a point is the volume that it alone dominates: how much
the hypervolume of ``front`` under ``reference`` shrinks when that point is
removed. Useful for truncating an archive or picking its least contributor.

Args:
    front (list[list[float]]): objective vectors, one per solution; a 2-D
        float64 NumPy array is read without conversion.
    reference (list[float]): the bounding "worst" point, one value per
        objective.

Returns:
    list[float]: one contribution per point, in input order; ``0.0`` for
    points the hypervolume ignores (other lengths, NaN, not strictly better
    than ``reference``), for dominated points and for repeated points.)doc";
const char* const pso_result_iterations =
    "Number of iterations the run made (int), whatever ``record_history`` was.";

const char* const pso_result_violation =
    "Total constraint violation at best_position (float >= 0); 0.0 without constraints.";
const char* const pso_result_feasible = "True when best_position violates no constraint.";

const char* const pso_result_history_array = R"doc(history_array($self)
--

The history as a read-only float64 NumPy array of shape
``(iterations, n_particles, dim)``, sharing the result's storage (no copy).
Its length along the first axis is 0 if run with ``record_history=False``.
Use ``.copy()`` for a writable array.)doc";

const char* const pareto_front_iterations =
    "Number of iterations the run made (int), whatever ``record_history`` was.";

const char* const pareto_front_evaluations =
    "Number of objective vectors the run computed (int).";
const char* const pareto_front_violations =
    "Total constraint violation of each member, in member order (list of float >= 0); all 0.0 "
    "without constraints.";
const char* const pareto_front_feasible = "True when no member violates a constraint.";

const char* const pareto_front_positions_array = R"doc(positions_array($self)
--

The members' positions as a read-only float64 NumPy array of shape
``(members, dim)``, in the order of ``positions``.)doc";

const char* const pareto_front_objectives_array = R"doc(objectives_array($self)
--

The members' objective vectors as a read-only float64 NumPy array of shape
``(members, n_objectives)``, in the order of ``objectives``.)doc";

const char* const pareto_front_swarm_history_array = R"doc(swarm_history_array($self)
--

The swarm history as a read-only float64 NumPy array of shape
``(iterations, n_particles, dim)``, sharing the front's storage (no copy).
Its length along the first axis is 0 if run with ``record_history=False``.)doc";

const char* const pareto_front_recorded_evaluations =
    "Every evaluation in evaluation order when run with record_evaluations=True: one\n"
    "list per evaluation, the decoded point then its objective vector. Empty otherwise.";
const char* const pareto_front_evaluations_array = R"doc(evaluations_array($self)
--

The recorded evaluations as a read-only float64 NumPy array of shape
``(evaluations, dim + n_objectives)``, sharing the front's storage: row
``k`` holds the ``k``-th point evaluated (decoded) and then its objective
vector. It has no rows unless run with ``record_evaluations=True``.)doc";

const char* const optimizer_best_params =
    "The best position so far as named parameters (a dict) when bounds named them; None\n"
    "otherwise, and until the first swarm was evaluated.";
const char* const pso_result_best_params =
    "The best position as named parameters (a dict: ints as int, choices as the given\n"
    "objects) when bounds named them; None otherwise.";
const char* const pareto_front_params =
    "The members' positions as named parameters (a list of dicts, in the order of\n"
    "positions) when bounds named them; None otherwise.";
const char* const result_parameters =
    "The dict of named parameters the run was given as bounds; None otherwise.";
const char* const result_trials = R"doc(trials($self)
--

The recorded evaluations (``record_evaluations=True``) as a list of dicts,
one per evaluation in evaluation order: the named parameters (or ``x0``,
``x1``, ... when bounds named none), then the value under ``"value"`` (a
front's objectives under ``"f0"``, ``"f1"``, ...). A parameter named like
a value column is a ``ValueError``.)doc";
const char* const result_to_pandas = R"doc(to_pandas($self)
--

``trials()`` as a pandas ``DataFrame``, one row per evaluation. Needs
pandas; raises ``ImportError`` without it.)doc";

const char* const grey_result_iterations =
    "Number of iterations the run made (int), whatever the convergence curve holds.";

const char* const result_convergence_array = R"doc(convergence_array($self)
--

The convergence curve as a read-only one-dimensional float64 NumPy array,
sharing the result's storage (no copy).)doc";

const char* const result_to_dict = R"doc(to_dict($self)
--

Every attribute in a new dict of plain Python types (lists, tuples, float,
int, str), ready for ``json.dumps``. Non-finite values stay floats
(``nan``, ``inf``, ``-inf``): ``json.dumps`` writes them as ``NaN``,
``Infinity`` and ``-Infinity``, which ``json.loads`` reads back; pass
``allow_nan=False`` to refuse them instead.)doc";

const char* const result_reduce = R"doc(__reduce__($self)
--

Pickle support: the result is rebuilt from a state of plain Python objects,
bit for bit (NaN, -0.0 and infinities included). ``copy.copy`` and
``copy.deepcopy`` go through it too.)doc";

const char* const rebuild_result = R"doc(Rebuilds a result from the state that its ``__reduce__`` gave. Private:
called by pickle.)doc";

}  // namespace corvalinth::py::docs
// clang-format on
