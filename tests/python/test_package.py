import glob
import importlib.metadata
import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

try:
    import tomllib
except ModuleNotFoundError:  # Python 3.10
    tomllib = None

import ovik_sdk.main_mod as main_mod

REPO = pathlib.Path(__file__).resolve().parents[2]


def test_extension_is_the_stable_abi_build():
    assert pathlib.Path(main_mod.__file__).name == "main_mod.abi3.so"


def test_imports_from_any_directory(run_python):
    result = run_python("import ovik_sdk.main_mod as m; print(m.__name__)")
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ovik_sdk.main_mod\n"


def test_wheel_is_tagged_for_the_stable_abi():
    try:
        wheel = importlib.metadata.distribution("ovik_sdk").read_text("WHEEL")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("the package runs from a build tree, not from an installed wheel")
    tags = re.findall(r"^Tag: (\S+)$", wheel, re.MULTILINE)
    assert tags and all(tag.split("-")[:2] == ["cp310", "abi3"] for tag in tags), tags


def interpreters():
    """Every CPython 3.10 or later this machine has, beside the running one."""
    found = {}
    candidates = [sys.executable] + [shutil.which(f"python3.{minor}") for minor in range(10, 20)]
    candidates += glob.glob(os.path.expanduser("~/.pyenv/versions/3.*/bin/python3"))
    for path in filter(None, candidates):
        version = subprocess.run([path, "-c", "import sys; print(*sys.version_info[:2])"], capture_output=True,
                                 text=True).stdout.split()
        if len(version) == 2 and (int(version[0]), int(version[1])) >= (3, 10):
            found.setdefault(tuple(map(int, version)), path)
    return sorted(found.items())


def test_the_module_imports_on_every_interpreter_from_3_10(tmp_path):
    package_root = pathlib.Path(main_mod.__file__).parents[1]
    seen = []
    for version, path in interpreters():
        result = subprocess.run(
            [path, "-I", "-c", f"import sys; sys.path.insert(0, {str(package_root)!r}); import ovik_sdk.main_mod as m; "
                               "print(m.get_sdk_version(), len(m.__all__))"],
            cwd=tmp_path, capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, (version, result.stderr)
        assert result.stdout.split()[0] == "0.5.0"
        seen.append(version)
    assert tuple(sys.version_info[:2]) in seen


@pytest.mark.skipif(tomllib is None, reason="tomllib needs Python 3.11")
def test_package_version_matches_the_core():
    project = tomllib.loads((REPO / "pyproject.toml").read_text())["project"]
    header = (REPO / "src/common/version.hpp").read_text()
    assert f'kSdkVersion = "{project["version"]}"' in header
