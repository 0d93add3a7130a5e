"""The documentation agrees with the code it documents.

Each docstring's argument lists name every parameter of the signature, once, in signature order,
under "Args:" the positional-or-keyword ones and under "Keyword-only arguments:" the keyword-only
ones; every default a docstring states ("Defaults to X", "X (default)", "(default X)") and every
"as in ``minimize``" is the signature's. The type stub declares the package's ``__all__`` and the
runtime's signatures and members.
"""

import ast
import inspect
import re
from pathlib import Path

import pytest

import corvalinth as pso

STUB = Path(pso.__file__).with_name("__init__.pyi")

# Callables whose docstrings list their arguments. Optimizer and MultiOptimizer list only what
# differs from the function they drive; the rest of their parameters must be its, with the same
# defaults.
DOCUMENTED = {
    "minimize": pso.minimize,
    "minimize_multi": pso.minimize_multi,
    "minimize_grey": pso.minimize_grey,
    "Optimizer": pso.Optimizer,
    "MultiOptimizer": pso.MultiOptimizer,
    "hypervolume": pso.hypervolume,
    "hypervolume_contributions": pso.hypervolume_contributions,
    "ParetoFront.hypervolume": pso.ParetoFront.hypervolume,
}
AS_IN_MINIMIZE = {"Optimizer": pso.minimize, "MultiOptimizer": pso.minimize_multi}
# minimize's specified docstring lists these next to the constraints they go with, not in
# signature order; they are still checked for presence and defaults.
OUT_OF_ORDER = {"minimize": {"equality_constraints", "repair"}}

SECTION_HEADINGS = {"Args:": "positional", "Keyword-only arguments:": "keyword"}
ENTRY = re.compile(r"^    (?P<names>\w+(?: \([^()]*\))?(?:, \w+(?: \([^()]*\))?)*):(?: |$)")
NAME = re.compile(r"(\w+)(?: \([^()]*\))?")
DEFAULT_PHRASES = [
    re.compile(r"Defaults\s+to\s+(``.+?``|[-+\w.]+?)(?=[.,;)]?(?:\s|$))"),
    re.compile(r"(``[^`]+``)\s+\((?:the\s+)?default[),]"),
    re.compile(r"\(default\s+([^()\s,;]+)\)"),
]


def parameters(function):
    params = list(inspect.signature(function).parameters.values())
    return [p for p in params if p.name != "self"]


def argument_sections(doc):
    """{"positional" | "keyword": [(names, text)]} from the docstring's argument sections."""
    sections = {"positional": [], "keyword": []}
    current = None
    in_entry = False
    lines = doc.splitlines()
    # A name list that wraps (``a, b,`` / ``c: ...``) is one entry.
    joined = []
    for line in lines:
        if joined and re.fullmatch(r"    [\w, ]+,", joined[-1]) and line.startswith("    "):
            joined[-1] += " " + line.strip()
        else:
            joined.append(line)
    for line in joined:
        if line in SECTION_HEADINGS:
            current = sections[SECTION_HEADINGS[line]]
            continue
        if current is None:
            continue
        if line and not line.startswith(" "):
            current = None  # the next heading ends the section
            continue
        match = ENTRY.match(line)
        if match:
            current.append((NAME.findall(match["names"]), line[match.end():]))
            in_entry = True
        elif line.strip() and not line.startswith("        "):
            in_entry = False  # a paragraph of the section's own, after its entries
        elif current and line.strip() and in_entry:
            names, text = current[-1]
            current[-1] = (names, text + " " + line.strip())
    return sections


def stated_defaults(text):
    found = []
    for phrase in DEFAULT_PHRASES:
        found += [value.strip("`") for value in phrase.findall(text)]
    return found


def same_value(a, b):
    return type(a) is type(b) and a == b


@pytest.mark.parametrize("name", DOCUMENTED)
def test_argument_lists_match_the_signature(name):
    function = DOCUMENTED[name]
    params = parameters(function)
    sections = argument_sections(function.__doc__)
    for kind, wanted in (("positional", inspect.Parameter.POSITIONAL_OR_KEYWORD),
                         ("keyword", inspect.Parameter.KEYWORD_ONLY)):
        documented = [n for names, _ in sections[kind] for n in names]
        assert len(documented) == len(set(documented)), (name, kind, documented)
        in_signature = [p.name for p in params if p.kind is wanted]
        if name in AS_IN_MINIMIZE:
            assert set(documented) <= set(in_signature), (name, kind, documented)
            in_signature = [n for n in in_signature if n in documented]
        skip = OUT_OF_ORDER.get(name, set())
        assert sorted(documented) == sorted(in_signature), (name, kind)
        assert [n for n in documented if n not in skip] == \
            [n for n in in_signature if n not in skip], (name, kind)


@pytest.mark.parametrize("name", DOCUMENTED)
def test_stated_defaults_are_the_signature_defaults(name):
    function = DOCUMENTED[name]
    defaults = {p.name: p.default for p in parameters(function)}
    minimize_defaults = {p.name: p.default
                         for p in parameters(AS_IN_MINIMIZE.get(name, pso.minimize))}
    sections = argument_sections(function.__doc__)
    checked = 0
    for names, text in sections["positional"] + sections["keyword"]:
        stated = stated_defaults(text)
        if stated:
            assert len(names) == 1, (name, names, stated)
            for value in stated:
                assert same_value(ast.literal_eval(value), defaults[names[0]]), \
                    (name, names[0], value, defaults[names[0]])
                checked += 1
        if "as in ``minimize``" in text and name != "minimize":
            for n in names:
                assert same_value(defaults[n], minimize_defaults[n]), (name, n)
                checked += 1
    if name in AS_IN_MINIMIZE:
        documented = {n for names, _ in sections["positional"] + sections["keyword"]
                      for n in names}
        for n in defaults.keys() - documented - {"bounds"}:
            assert same_value(defaults[n], minimize_defaults[n]), (name, n)
    if name.startswith(("minimize", "Optimizer", "MultiOptimizer")):
        assert checked >= 2, f"{name}: no stated default found; has the wording changed?"


def test_a_default_phrase_is_read_in_every_form():
    text = ('a ``"clamp"`` (default) b. c (default 0.1); d, ``None`` (default, e). '
            "Defaults to ``False``. if ``True`` (the default). Defaults to 0.729.")
    assert stated_defaults(text) == ["False", "0.729", '"clamp"', "None", "True", "0.1"]


# --- the stub -----------------------------------------------------------------------------------

def stub_tree():
    return ast.parse(STUB.read_text(encoding="utf-8"))


def stub_all(tree):
    for node in tree.body:
        if isinstance(node, ast.Assign) and any(
                isinstance(t, ast.Name) and t.id == "__all__" for t in node.targets):
            return ast.literal_eval(node.value)
    raise AssertionError("the stub declares no __all__")


def stub_signature(node):
    """(name, kind, default) per parameter of a stub function, without self."""
    args = node.args
    out = []
    positional = args.posonlyargs + args.args
    plain_defaults = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    for i, (arg, default) in enumerate(zip(positional, plain_defaults, strict=True)):
        kind = "positional_only" if i < len(args.posonlyargs) else "positional_or_keyword"
        out.append((arg.arg, kind, default))
    if args.vararg is not None:
        out.append((args.vararg.arg, "var_positional", None))
    out += [(arg.arg, "keyword_only", default)
            for arg, default in zip(args.kwonlyargs, args.kw_defaults, strict=True)]
    out = [(n, k, inspect.Parameter.empty if d is None else ast.literal_eval(d))
           for n, k, d in out]
    return [entry for entry in out if entry[0] != "self"]


def runtime_signature(function):
    return [(p.name, p.kind.name.lower(), p.default) for p in parameters(function)]


def stub_callables():
    """(qualified name, stub function node, runtime object) for every stub function and method."""
    found = []
    for node in stub_tree().body:
        if isinstance(node, ast.FunctionDef):
            found.append((node.name, node, getattr(pso, node.name)))
        elif isinstance(node, ast.ClassDef):
            cls = getattr(pso, node.name)
            for item in node.body:
                if not isinstance(item, ast.FunctionDef):
                    continue
                decorators = {d.id for d in item.decorator_list if isinstance(d, ast.Name)}
                if "property" not in decorators:
                    target = cls if item.name == "__init__" else getattr(cls, item.name)
                    found.append((f"{node.name}.{item.name}", item, target))
    return found


def test_stub_exports_what_the_package_exports():
    assert stub_all(stub_tree()) == pso.__all__


@pytest.mark.parametrize("name, node, runtime", stub_callables(), ids=lambda v: v
                         if isinstance(v, str) else "")
def test_stub_signatures_match_the_runtime(name, node, runtime):
    stub = stub_signature(node)
    actual = runtime_signature(runtime)
    assert [entry[:2] for entry in stub] == [entry[:2] for entry in actual], name
    for (param, _, want), (_, _, got) in zip(stub, actual, strict=True):
        assert want is got or same_value(want, got), (name, param, want, got)


@pytest.mark.parametrize("cls", [pso.PsoResult, pso.ParetoFront, pso.GreyResult, pso.Optimizer,
                                 pso.MultiOptimizer],
                         ids=lambda c: c.__name__)
def test_stub_classes_declare_the_runtime_members(cls):
    """Members count with the stub's base classes, which must be the runtime's by name."""
    classes = {n.name: n for n in stub_tree().body if isinstance(n, ast.ClassDef)}
    node, declared = classes[cls.__name__], set()
    runtime_bases = [base.__name__ for base in cls.__mro__[1:-1]]
    assert [base.id for base in node.bases] == runtime_bases
    for name in [cls.__name__, *runtime_bases]:
        declared |= {item.name for item in classes[name].body
                     if isinstance(item, ast.FunctionDef)}
    public = {n for n in dir(cls) if not n.startswith("_")}
    assert declared - {"__init__"} == public
