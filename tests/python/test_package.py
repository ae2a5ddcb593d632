import pathlib
import tomllib

import ovik_sdk.main_mod as main_mod

REPO = pathlib.Path(__file__).resolve().parents[2]


def test_extension_is_the_stable_abi_build():
    assert pathlib.Path(main_mod.__file__).name == "main_mod.abi3.so"


def test_imports_from_any_directory(run_python):
    result = run_python("import ovik_sdk.main_mod as m; print(m.__name__)")
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ovik_sdk.main_mod\n"


def test_package_version_matches_the_core():
    project = tomllib.loads((REPO / "pyproject.toml").read_text())["project"]
    header = (REPO / "src/common/version.hpp").read_text()
    assert f'kSdkVersion = "{project["version"]}"' in header
