"""The documentation build's own checks find what they are meant to find.

A check that silently skips a code block or a link passes for the wrong reason, so the block
extraction is compared with a plain count of the directives, and both checks are run on small
pages made here.
"""

import importlib.util
import re
from pathlib import Path

import pytest

DOCS = Path(__file__).resolve().parents[2] / "docs"


def load(name):
    spec = importlib.util.spec_from_file_location(name, DOCS / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


code_blocks = load("check_code_blocks")
local_links = load("check_local_links")


def test_every_python_directive_of_the_site_is_extracted():
    directive = re.compile(r"^\s*\.\. (?:code-block|code|sourcecode):: python3?\s*$", re.M)
    pages = [p for p in DOCS.rglob("*.rst")
             if not code_blocks.SKIPPED_DIRS.intersection(p.relative_to(DOCS).parts)]
    expected = sum(len(directive.findall(p.read_text(encoding="utf-8"))) for p in pages)
    blocks = [b for b in code_blocks.all_blocks() if b.path.suffix == ".rst"]
    assert len(blocks) == expected > 0
    assert all(b.code.strip() for b in blocks)


PAGE = """Title
=====

.. code-block:: python
   :caption: one

   x = 1
   if x:
       y = 2

- an item:

  .. code-block:: python

     # helper.py
     VALUE = 3

text
"""


def test_blocks_keep_their_indentation_and_name_their_file(tmp_path):
    page = tmp_path / "page.rst"
    page.write_text(PAGE, encoding="utf-8")
    first, second = code_blocks.rst_blocks(page)
    assert first.code == "x = 1\nif x:\n    y = 2\n"
    assert (code_blocks.file_name(first), code_blocks.file_name(second)) == (None, "helper.py")
    assert second.code == "# helper.py\nVALUE = 3\n"


@pytest.mark.parametrize("code, ok", [
    ("import sys\nsys.exit(0)\n", True),
    ("undefined_name\n", False),
    ("import mymodel\nassert mymodel.simulate([0.5]) == 0.0\n", True),  # the placeholder
])
def test_a_block_runs_alone(tmp_path, code, ok):
    block = code_blocks.Block(tmp_path / "page.rst", 1, code)
    assert code_blocks.run(block, {}, timeout=60)[0] is ok


def test_broken_local_links_are_found(tmp_path):
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "page.html").write_text(
        '<a href="../index.html#top">up</a> <a href="missing.html">gone</a> '
        '<a href="https://example.org/x.html">away</a> <a href="#here">here</a> '
        '<img src="../img.png">', encoding="utf-8")
    (tmp_path / "index.html").write_text("<p>home</p>", encoding="utf-8")
    broken = local_links.broken_links(tmp_path)
    assert sorted(target for _, target in broken) == ["../img.png", "missing.html"]
