"""Hypothesis profiles and the property tests' child-process switch."""

import os
import sys

from hypothesis import HealthCheck, Phase, settings

# --- property tests -------------------------------------------------------------------------
# test_properties_calls.py runs in a child process started by test_properties.py, which turns a
# crash of the child into a failure that shows the call that caused it; the child has
# PROPERTY_CHILD set. Profiles: "ci" (the default, a fixed number of examples per test) and
# "long" for runs that hunt for rare faults: pytest --hypothesis-profile=long ...
PROPERTY_CHILD = "CORVALINTH_PROPERTY_CHILD"
if not os.environ.get(PROPERTY_CHILD):
    collect_ignore_glob = ["test_properties_*.py"]

settings.register_profile("ci", max_examples=150, deadline=None, print_blob=True,
                          phases=[Phase.explicit, Phase.reuse, Phase.generate, Phase.shrink],
                          suppress_health_check=[HealthCheck.too_slow,
                                                 HealthCheck.filter_too_much])
settings.register_profile("long", parent=settings.get_profile("ci"), max_examples=20_000)
settings.load_profile("ci")


def pytest_terminal_summary(terminalreporter):
    for line in PROPERTY_SUMMARY:
        terminalreporter.write_line(line)
    hostile = sys.modules.get("hostile")
    if os.environ.get(PROPERTY_CHILD) and hostile is not None:
        terminalreporter.write_line(f"property cases run: {hostile.LOG.count}")


# Lines that the parent of the property tests prints once all its tests have run.
PROPERTY_SUMMARY = []
