"""Plotting helpers (Agg backend), the lazy matplotlib import, and the package's type stub."""

import ast
import inspect
import pathlib
import subprocess
import sys
from types import SimpleNamespace

import pytest

import corvalinth as pso
from corvalinth import viz


@pytest.fixture
def plt():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    yield pyplot
    pyplot.close("all")


@pytest.fixture(scope="module")
def run3d():
    return pso.minimize("sphere", bounds=[(-5, 5)] * 3, n_particles=6, max_iter=12, seed=3)


@pytest.fixture(scope="module")
def front():
    return pso.minimize_multi(lambda x: [x[0], 1 - x[0] + x[1], x[1]], bounds=[(0, 1)] * 2,
                              n_particles=12, max_iter=8, seed=5)


def draw(anim, frame):
    """Starts the animation (as a first draw would) and renders one frame."""
    anim._init_draw()
    anim._draw_frame(frame)
    return anim._fig.axes[0]


@pytest.mark.parametrize("kind", ["pso", "grey"])
def test_convergence_line_holds_the_curve(plt, kind):
    if kind == "pso":
        result = pso.minimize("rastrigin", bounds=[(-5, 5)] * 2, max_iter=15, seed=1)
    else:
        result = pso.minimize_grey("grey_sphere", bounds=(-5, 5), dim=2, max_iter=15, seed=1)
    line = viz.plot_convergence(result).lines[0]
    assert list(line.get_ydata()) == result.convergence
    assert list(line.get_xdata()) == list(range(1, 16))


@pytest.mark.parametrize("curve, log, scale", [
    ([1000.0, 20.0, 0.5], None, "log"),        # positive, more than two decades
    ([150.0, 2.0], None, "linear"),           # positive, less than two decades
    ([1000.0, 0.0, -1.0], None, "linear"),    # not all positive
    ([float("inf"), 1e3, 1.0], None, "log"),  # an infinite start does not count
    ([1000.0, 0.5], False, "linear"),
    ([5.0, 1.0], True, "log"),
])
def test_convergence_scale(plt, curve, log, scale):
    ax = viz.plot_convergence(SimpleNamespace(convergence=curve), log=log)
    assert ax.get_yscale() == scale


def test_swarm_frames_follow_history(plt, run3d):
    anim = viz.animate_swarm(run3d, dims=(2, 0), bounds=[(-5, 5)] * 3)
    assert len(list(anim.new_frame_seq())) == len(run3d.history) == 12
    ax = draw(anim, 7)
    points, best = ax.collections
    assert points.get_offsets().tolist() == [[p[2], p[0]] for p in run3d.history[7]]
    assert best.get_offsets().tolist() == [[run3d.best_position[2], run3d.best_position[0]]]
    assert ax.get_xlim() == ax.get_ylim() == (-5.0, 5.0)


def test_one_dimensional_swarm_plots_against_particle_index(plt):
    result = pso.minimize("sphere", bounds=(-4, 4), dim=1, n_particles=5, max_iter=4, seed=2)
    ax = draw(viz.animate_swarm(result, bounds=(-4, 4)), 3)
    assert ax.collections[0].get_offsets().tolist() == [
        [i, p[0]] for i, p in enumerate(result.history[3])]
    assert ax.get_ylim() == (-4.0, 4.0)
    assert list(ax.lines[0].get_ydata()) == [result.best_position[0]] * 2


@pytest.mark.parametrize("helper", [viz.plot_convergence, viz.animate_swarm,
                                    viz.animate_front])
def test_no_history_is_a_clear_error(plt, helper):
    if helper is viz.animate_front:
        result = pso.minimize_multi(lambda x: [x[0], -x[0]], bounds=[(0, 1)], n_particles=4,
                                    max_iter=3, seed=1, record_history=False)
    else:
        result = pso.minimize("sphere", bounds=[(-1, 1)] * 2, max_iter=3, seed=1,
                              record_history=False)
    with pytest.raises(ValueError, match="record_history=False"):
        helper(result)


@pytest.mark.parametrize("dims", [(0, 3), (-1, 0), (0,), (0, 1, 2)])
def test_bad_dims(plt, run3d, dims):
    with pytest.raises(ValueError, match="dims"):
        viz.animate_swarm(run3d, dims=dims)


@pytest.mark.parametrize("objectives", [(1, 0), (2, 0)])
def test_front_scatter_holds_the_objectives(plt, front, objectives):
    ax = viz.plot_front(front, objectives=objectives)
    a, b = objectives
    assert ax.collections[0].get_offsets().tolist() == [[v[a], v[b]] for v in front.objectives]


def test_three_objectives_use_3d_axes(plt, front):
    assert viz.plot_front(front, objectives=(0, 1, 2)).name == "3d"
    with pytest.raises(ValueError, match="3-D"):
        viz.plot_front(front, ax=plt.figure().add_subplot(), objectives=(0, 1, 2))
    with pytest.raises(ValueError, match="out of range"):
        viz.plot_front(front, objectives=(0, 3))


def test_front_animation_follows_front_history(plt, front):
    anim = viz.animate_front(front, objectives=(1, 2))
    assert len(list(anim.new_frame_seq())) == len(front.front_history) == 8
    ax = draw(anim, 5)
    assert ax.collections[0].get_offsets().tolist() == [
        [v[1], v[2]] for v in front.front_history[5]]


def run_python(code):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          check=False)


def test_importing_the_package_does_not_import_matplotlib():
    done = run_python("import sys, corvalinth, corvalinth.viz\n"
                      "print(sorted(m for m in ('matplotlib', 'numpy') if m in sys.modules))")
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "[]"


def test_missing_matplotlib_says_how_to_install():
    done = run_python("import sys; sys.modules['matplotlib'] = None\n"
                      "import corvalinth as pso\n"
                      "r = pso.minimize('sphere', bounds=[(-1, 1)], max_iter=2, seed=1)\n"
                      "pso.viz.plot_convergence(r)")
    assert "ImportError" in done.stderr and "pip install matplotlib" in done.stderr


STUB = pathlib.Path(pso.__file__).with_name("__init__.pyi")


def stub_signatures():
    """(qualified name, [(parameter, kind, default)]) for every function and method in the stub."""
    tree = ast.parse(STUB.read_text())
    found = {}

    def walk(body, prefix):
        for node in body:
            if isinstance(node, ast.ClassDef):
                walk(node.body, node.name + ".")
            elif isinstance(node, ast.FunctionDef) and not node.decorator_list:
                args = node.args
                positional = args.posonlyargs + args.args
                defaults = [inspect.Parameter.empty] * (len(positional) - len(args.defaults))
                defaults += [ast.literal_eval(d) for d in args.defaults]
                found[prefix + node.name] = [
                    (a.arg, "POSITIONAL_ONLY" if a in args.posonlyargs else
                     "POSITIONAL_OR_KEYWORD", d) for a, d in zip(positional, defaults)] + [
                    (args.vararg.arg, "VAR_POSITIONAL", inspect.Parameter.empty)
                    for _ in [args.vararg] if args.vararg is not None] + [
                    (a.arg, "KEYWORD_ONLY", ast.literal_eval(d))
                    for a, d in zip(args.kwonlyargs, args.kw_defaults)]
    walk(tree.body, "")
    return found


def test_stub_matches_the_runtime():
    stubs = stub_signatures()
    methods = {f"{cls.__name__}.{n}" for cls in (pso.PsoResult, pso.ParetoFront, pso.GreyResult)
               for n in vars(cls) if not n.startswith("_") and callable(getattr(cls, n))}
    assert set(stubs) == {n for n in pso.__all__ if callable(getattr(pso, n))
                          and not isinstance(getattr(pso, n), type)} | methods | {
                              f"{cls}.{method}" for cls in ("Optimizer", "MultiOptimizer")
                              for method in ("__init__", "ask", "tell", "result")} | {
                              "_Driven.ask"}
    for name, params in stubs.items():
        owner, _, attr = name.rpartition(".")
        runtime = getattr(getattr(pso, owner) if owner else pso, attr)
        if attr == "__init__":  # the class's own signature, which leaves out self
            runtime, params = getattr(pso, owner), params[1:]
        signature = inspect.signature(runtime)
        actual = [(p.name, p.kind.name, p.default) for p in signature.parameters.values()]
        # Compare the defaults' types too: 0 == False, but the stub must say False.
        assert [(n, k, type(d), d) for n, k, d in params] == [
            (n, k, type(d), d) for n, k, d in actual], name
    assert STUB.with_name("py.typed").exists()


def test_stub_properties_match_the_runtime():
    tree = ast.parse(STUB.read_text())
    classes = {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}
    for node in classes.values():
        if node.name != "PanicException":
            declared = {f.name for c in [node, *(classes[b.id] for b in node.bases)]
                        for f in c.body if isinstance(f, ast.FunctionDef) and f.name != "__init__"}
            public = {a for a in dir(getattr(pso, node.name)) if not a.startswith("_")}
            assert declared == public, node.name


@pytest.fixture(scope="module")
def two_runs():
    return {rule: pso.minimize("rastrigin", bounds=[(-5, 5)] * 2, max_iter=10, seed=2,
                               velocity=rule) for rule in ("inertia", "fips")}


@pytest.mark.parametrize("form", ["mapping", "list"])
def test_several_runs_share_one_plot_with_a_legend(plt, two_runs, form):
    given = two_runs if form == "mapping" else list(two_runs.values())
    ax = viz.plot_convergence(given, linewidth=3)
    labels = list(two_runs) if form == "mapping" else ["run 1", "run 2"]
    assert [line.get_label() for line in ax.lines] == labels
    assert [list(line.get_ydata()) for line in ax.lines] == [
        r.convergence for r in two_runs.values()]
    assert {line.get_linewidth() for line in ax.lines} == {3}
    assert [t.get_text() for t in ax.get_legend().get_texts()] == labels


def test_log_choice_looks_at_every_curve(plt):
    curves = {"narrow": SimpleNamespace(convergence=[5.0, 4.0]),
              "wide": SimpleNamespace(convergence=[900.0, 1.0])}
    assert viz.plot_convergence(curves).get_yscale() == "log"
    assert viz.plot_convergence(curves["narrow"]).get_yscale() == "linear"


@pytest.mark.parametrize("title, existing, shown", [
    (None, "", "Convergence: best value per iteration"),
    ("Rastrigin", "", "Rastrigin"),
    ("", "", ""),
    (None, "mine", "mine"),  # the default never overwrites the caller's title
    ("new", "mine", "new"),
])
def test_convergence_title(plt, two_runs, title, existing, shown):
    ax = plt.figure().add_subplot()
    ax.set_title(existing)
    viz.plot_convergence(two_runs["fips"], ax=ax, title=title)
    assert ax.get_title() == shown


def test_single_run_has_no_legend_unless_labelled(plt, two_runs):
    ax = viz.plot_convergence(two_runs["fips"], color="red")
    assert ax.get_legend() is None and ax.lines[0].get_color() == "red"
    ax = viz.plot_convergence(two_runs["inertia"], label="inertia")
    assert [t.get_text() for t in ax.get_legend().get_texts()] == ["inertia"]


@pytest.mark.parametrize("helper, empty", [
    (viz.plot_convergence, []), (viz.plot_convergence, {}), (viz.plot_front, {})])
def test_nothing_to_plot_is_a_clear_error(plt, helper, empty):
    with pytest.raises(ValueError, match="at least one"):
        helper(empty)


def test_several_fronts_with_a_legend_and_scatter_arguments(plt, front):
    other = [[0.0, 1.0], [1.0, 0.0]]
    ax = viz.plot_front({"swarm": front, "reference": other}, marker="s", s=5)
    assert [c.get_label() for c in ax.collections] == ["swarm", "reference"]
    assert ax.collections[1].get_offsets().tolist() == other
    assert ax.collections[0].get_sizes().tolist() == [5]
    assert [t.get_text() for t in ax.get_legend().get_texts()] == ["swarm", "reference"]
    assert ax.get_title() == "Pareto front"
    assert viz.plot_front(other).get_title() == "Pareto front (2 points)"


def test_animations_pass_scatter_arguments(plt, run3d, front):
    anim = viz.animate_swarm(run3d, color="green", s=40)
    points = anim._fig.axes[0].collections[0]
    assert points.get_sizes().tolist() == [40]
    assert points.get_facecolor().tolist() == [[0.0, 0.5019607843137255, 0.0, 1.0]]
    front_anim = viz.animate_front(front, objectives=(0, 2), s=3)
    assert front_anim._fig.axes[0].collections[0].get_sizes().tolist() == [3]
    for started in (anim, front_anim):
        draw(started, 0)


@pytest.mark.parametrize("names, labels", [
    (None, ("f[2]", "f[0]")),
    (["cost", "risk", "time"], ("time", "cost")),
])
def test_axis_labels_name_the_objectives(plt, front, names, labels):
    ax = viz.plot_front(front, objectives=(2, 0), names=names)
    assert (ax.get_xlabel(), ax.get_ylabel()) == labels
    anim = viz.animate_front(front, objectives=(2, 0), names=names)
    ax = draw(anim, 0)
    assert (ax.get_xlabel(), ax.get_ylabel()) == labels


def test_axis_labels_name_the_variables(plt, run3d):
    anim = viz.animate_swarm(run3d, dims=(2, 1), names=["a", "b", "c"])
    ax = draw(anim, 0)
    assert (ax.get_xlabel(), ax.get_ylabel()) == ("c", "b")
    with pytest.raises(ValueError, match="names has 2 entries: no name for index 2"):
        viz.animate_swarm(run3d, dims=(2, 1), names=["a", "b"])
