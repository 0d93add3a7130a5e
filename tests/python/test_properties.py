"""Runs the property tests of test_properties_calls.py in a child pytest process, so that a crash
(a segfault, an abort of a sanitizer, a hang) becomes a failure of this test that shows the call
being made when the child died; a failing property shows hypothesis's own report."""

import os
import signal
import subprocess
import sys
import tempfile
from pathlib import Path

import conftest
from hostile import ExampleLog

HERE = Path(__file__).parent
# Far above the time the ci profile needs, even under the sanitizers; a hang ends here.
TIME_LIMIT = 1500
# Where the call that killed the child is kept, next to hypothesis's example database.
CRASHED_CALL = HERE / ".hypothesis" / "crashed-call.py"
REPRODUCER_IMPORTS = ("import numpy as np\nfrom numpy import array\nfrom corvalinth import *\n"
                      "from hostile import *\n")


def test_properties_hold_without_crashing(request):
    profile = request.config.getoption("hypothesis_profile", None) or "ci"
    with tempfile.NamedTemporaryFile("r", suffix=".txt") as example:
        environment = dict(os.environ, **{conftest.PROPERTY_CHILD: "1",
                                         ExampleLog.VARIABLE: example.name})
        command = [sys.executable, "-X", "faulthandler", "-m", "pytest", "-q", "-p",
                   "no:cacheprovider", f"--hypothesis-profile={profile}",
                   str(HERE / "test_properties_calls.py")]
        try:
            child = subprocess.run(command, cwd=HERE, env=environment, capture_output=True,
                                   text=True, timeout=TIME_LIMIT)
            output, code = child.stdout + child.stderr, child.returncode
        except subprocess.TimeoutExpired as expired:
            output, code = f"{expired.stdout or ''}{expired.stderr or ''}", "timeout"
        last_call = Path(example.name).read_text()
    counts = [line for line in output.splitlines() if line.startswith("property cases run")]
    conftest.PROPERTY_SUMMARY.extend(counts)
    if code == 0:
        return
    if code == "timeout" or code < 0 or not counts:
        died = f"signal {signal.Signals(-code).name}" if isinstance(code, int) and code < 0 \
            else code
        CRASHED_CALL.parent.mkdir(exist_ok=True)
        CRASHED_CALL.write_text(f"{REPRODUCER_IMPORTS}{last_call}\n")
        raise AssertionError(f"the property tests died ({died}) while calling (saved in "
                             f"{CRASHED_CALL}):\n  {last_call}\n{output[-6000:]}")
    raise AssertionError(output[-20000:])
