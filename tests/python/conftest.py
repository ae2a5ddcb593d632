import os
import pathlib
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent


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


@pytest.fixture(scope="session")
def probe():
    """The binder probe: a test-only extension built from the binding layer."""
    sys.path.insert(0, str(HERE / "probe"))
    try:
        import build
    finally:
        sys.path.pop(0)
    return build.load()


@pytest.fixture(scope="session")
def probe_dir(probe):
    return pathlib.Path(probe.__file__).parent
