"""Package metadata and the command line of ``python -m corvalinth``."""

import importlib.metadata
import subprocess
import sys

import pytest

import corvalinth as pso


def run_module(*arguments):
    return subprocess.run([sys.executable, "-m", "corvalinth", *arguments], capture_output=True,
                          text=True, check=False, timeout=120)


def test_version_is_the_installed_distribution_version():
    assert pso.__version__ == importlib.metadata.version("corvalinth")
    metadata = importlib.metadata.metadata("corvalinth")
    assert metadata["License-Expression"] == "MIT"


def test_import_loads_no_optional_dependency():
    done = subprocess.run([sys.executable, "-c", "import sys, corvalinth\n"
                           "print([m for m in ('tqdm', 'matplotlib') if m in sys.modules])"],
                          capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "[]"


def test_help_lists_the_sections():
    done = run_module("--help")
    assert done.returncode == 0, done.stderr
    for name in ("native", "python", "knapsack", "multi", "grey"):
        assert name in done.stdout


@pytest.mark.parametrize("sections, headings", [
    (["grey"], ["Grey numbers"]),
    (["knapsack", "native"], ["Binary knapsack", "Native benchmark"]),
])
def test_a_section_runs_alone(sections, headings):
    done = run_module(*[f"--section={name}" for name in sections])
    assert done.returncode == 0, done.stderr
    found = [line for line in done.stdout.splitlines() if line and not line.startswith(" ")]
    assert [line.split(":")[0].split(" (")[0] for line in found] == headings


def test_unknown_section_is_refused():
    done = run_module("--section", "nope")
    assert done.returncode == 2 and "invalid choice: 'nope'" in done.stderr


# Each snippet runs in a fresh interpreter, where the module is imported for the first time.
MODULE_IMPORT_CASES = {
    "the exception is exported at import": (
        "import corvalinth_native as m\n"
        "assert m.PanicException.__name__ == 'PanicException'\n"
        "assert m.PanicException.__module__ == 'corvalinth'\n"
        "assert m.PanicException.__bases__ == (BaseException,)\n"),
    "the raised class is the exported one and pickles by reference": (
        "import pickle, corvalinth as pso\n"
        "try:\n"
        "    pso.minimize('sphere', [(1, 0)])\n"
        "except BaseException as error:\n"
        "    assert type(error) is pso.PanicException\n"
        "    twin = pickle.loads(pickle.dumps(error))\n"
        "    assert type(twin) is pso.PanicException and twin.args == error.args\n"),
    "a second import exports the same classes and works": (
        "import sys, corvalinth_native as first\n"
        "del sys.modules['corvalinth_native']\n"
        "import corvalinth_native as second\n"
        "assert second is not first\n"
        "for name in ('PanicException', 'PsoResult', 'ParetoFront', 'GreyResult', 'Optimizer'):\n"
        "    assert getattr(second, name) is getattr(first, name)\n"
        "r = second.minimize('sphere', [(-1, 1)], max_iter=2, seed=1)\n"
        "assert type(r) is first.PsoResult\n"),
    # The classes belong to one interpreter: a subinterpreter is refused, not handed them.
    "another interpreter is refused": (
        "import corvalinth_native\n"
        "try:\n    import _testcapi as testcapi\nexcept ImportError:\n    raise SystemExit(0)\n"
        "code = ('try:\\n    import corvalinth_native\\nexcept ImportError as e:\\n'\n"
        "        '    assert \"one interpreter\" in str(e)\\nelse:\\n    raise SystemExit(3)\\n')\n"
        "assert testcapi.run_in_subinterp(code) == 0\n"),
}


@pytest.mark.parametrize("snippet", MODULE_IMPORT_CASES.values(), ids=MODULE_IMPORT_CASES)
def test_module_import(snippet):
    subprocess.run([sys.executable, "-c", snippet], check=True)
