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
