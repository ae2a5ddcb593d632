import os
import subprocess
import sys

import pytest


@pytest.fixture
def run_python(tmp_path):
    """Runs a Python snippet in a fresh interpreter inside a temporary directory."""

    def run(code, timeout=30, env=None):
        return subprocess.run(
            [sys.executable, "-c", code],
            cwd=tmp_path,
            capture_output=True,
            text=True,
            timeout=timeout,
            env={**os.environ, **(env or {})},
        )

    return run
