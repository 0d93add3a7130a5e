"""Runs every Python code block of the documentation as a reader would copy it.

Each ``.. code-block:: python`` of ``docs/**/*.rst`` and each Python block of ``README.md`` (an
indented block whose first line imports) is written to a file of its own and run by a fresh
interpreter in an empty directory, so a block that leans on an import, a name or a file from
another block fails. Two exceptions, both declared:

- A block whose first line is a comment naming a file (``# mymodel.py``) is that file of a
  multi-file example: it runs as that file, and the later blocks of its page find it beside them.
- ``PLACEHOLDER_MODULES`` stand for the reader's own modules; a block that imports one without
  its page showing it gets the stand-in beside it.

scripts/build-docs runs this after the site is built::

    python docs/check_code_blocks.py            # every block
    python docs/check_code_blocks.py -k results # blocks whose file name contains "results"
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import textwrap
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
SKIPPED_DIRS = {"_build", "auto_examples"}

# The reader's own modules that a block may import without its page showing them.
PLACEHOLDER_MODULES = {
    "mymodel.py": (
        "import corvalinth as pso\n\n\n"
        "def simulate(point):  # stands for an expensive evaluation\n"
        "    return sum((v - 0.5) ** 2 for v in point)\n\n\n"
        "def run(seed):  # one whole run\n"
        "    return pso.minimize(simulate, [(0, 1)] * 6, max_iter=20, seed=seed)\n"
    ),
}

DIRECTIVE = re.compile(r"^(?P<indent>\s*)\.\. (?:code-block|code|sourcecode):: python3?\s*$")
OPTION = re.compile(r"^\s*:[\w-]+:")
# README.md: an indented block is Python when its first line imports (the others are shell).
README_PYTHON = re.compile(r"^(?:import|from) \w")
FILE_COMMENT = re.compile(r"^# (\w+\.py)\s*$")


class Block:
    def __init__(self, path, line, code):
        self.path, self.line, self.code = path, line, code

    def __str__(self):
        return f"{self.path.relative_to(ROOT)}:{self.line}"


def rst_blocks(path):
    lines = path.read_text(encoding="utf-8").splitlines()
    blocks = []
    index = 0
    while index < len(lines):
        match = DIRECTIVE.match(lines[index])
        index += 1
        if not match:
            continue
        directive_indent = len(match["indent"])
        while index < len(lines) and OPTION.match(lines[index]):
            index += 1
        start = index
        body = []
        while index < len(lines):
            line = lines[index]
            if line.strip() and len(line) - len(line.lstrip()) <= directive_indent:
                break
            body.append(line)
            index += 1
        blocks.append(Block(path, start + 1, textwrap.dedent("\n".join(body)).strip() + "\n"))
    return blocks


def markdown_blocks(path):
    """Indented (four-space) blocks after a blank line, and ```python fences."""
    lines = path.read_text(encoding="utf-8").splitlines()
    blocks = []
    index = 0
    while index < len(lines):
        line = lines[index]
        if line.strip() in ("```python", "```py"):
            start = index + 1
            end = next(i for i in range(start, len(lines)) if lines[i].strip() == "```")
            blocks.append(Block(path, start + 1, "\n".join(lines[start:end]) + "\n"))
            index = end + 1
            continue
        if line.startswith("    ") and (index == 0 or not lines[index - 1].strip()):
            start = index
            while index < len(lines) and (lines[index].startswith("    ")
                                          or not lines[index].strip()):
                index += 1
            code = textwrap.dedent("\n".join(lines[start:index])).strip() + "\n"
            if README_PYTHON.match(code):
                blocks.append(Block(path, start + 1, code))
            continue
        index += 1
    return blocks


def all_blocks():
    found = []
    for path in sorted(DOCS.rglob("*.rst")):
        if not SKIPPED_DIRS.intersection(path.relative_to(DOCS).parts):
            found += rst_blocks(path)
    readme = ROOT / "README.md"
    if readme.exists():
        found += markdown_blocks(readme)
    return found


def file_name(block):
    match = FILE_COMMENT.match(block.code.splitlines()[0])
    return match[1] if match else None


def run(block, page_files, timeout):
    """Runs one block beside the page's files so far; (ok, error text, seconds)."""
    with tempfile.TemporaryDirectory(prefix="code-block-") as workdir:
        files = dict(page_files)
        for name, text in PLACEHOLDER_MODULES.items():
            module = name.removesuffix(".py")
            if name not in files and re.search(rf"^\s*(?:import|from) {module}\b", block.code,
                                               re.MULTILINE):
                files[name] = text
        script = file_name(block) or "block.py"
        files[script] = block.code
        for name, text in files.items():
            (Path(workdir) / name).write_text(text, encoding="utf-8")
        environment = dict(os.environ, MPLBACKEND="Agg")
        started = time.perf_counter()
        try:
            done = subprocess.run([sys.executable, script], cwd=workdir, env=environment,
                                  capture_output=True, text=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            return False, f"still running after {timeout} s", time.perf_counter() - started
        return done.returncode == 0, done.stderr.strip(), time.perf_counter() - started


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-k", dest="pattern", default="",
                        help="only blocks whose file path contains this text")
    parser.add_argument("--timeout", type=float, default=300.0, help="seconds per block")
    arguments = parser.parse_args(argv)
    blocks = [b for b in all_blocks() if arguments.pattern in str(b)]
    failures = 0
    page_files = {}  # the file blocks shown so far, per page
    for block in blocks:
        shown = page_files.setdefault(block.path, {})
        ok, errors, seconds = run(block, shown, arguments.timeout)
        if file_name(block):
            shown[file_name(block)] = block.code
        print(f"{'ok  ' if ok else 'FAIL'} {seconds:6.1f} s  {block}", flush=True)
        if not ok:
            failures += 1
            last = errors.splitlines()[-12:] if errors else ["(no message)"]
            print(textwrap.indent("\n".join(last), "         "))
    print(f"{len(blocks) - failures} of {len(blocks)} code blocks ran as copied")
    return 1 if failures or not blocks else 0


if __name__ == "__main__":
    sys.exit(main())
