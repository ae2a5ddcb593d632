"""Module initialisation: names, `__all__`, the version record, the module functions."""

import importlib
import inspect
import json
import sys

import pytest

import ovik_sdk.main_mod as m


def test_module_has_no_version_attribute_and_an_empty_docstring():
    assert m.__doc__ == ""
    assert not hasattr(m, "__version__")
    assert m.__name__ == "ovik_sdk.main_mod"


@pytest.mark.parametrize("name,signature", [
    ("get_sdk_version", "()"),
    ("initialize_logging_py", "(level)"),
    ("initialize_logging_with_file_py", "(level, enable_file_logging)"),
])
def test_functions_are_bound_to_the_module_and_documented_by_their_signature(name, signature):
    function = getattr(m, name)
    assert (function.__module__, function.__self__, function.__doc__) == ("ovik_sdk.main_mod", m, None)
    assert function.__text_signature__ == str(inspect.signature(function)) == signature
    assert (m.__name__, m.__doc__, hasattr(m, "__version__")) == ("ovik_sdk.main_mod", "", False)


def test_get_sdk_version_returns_a_new_string_each_call():
    first, second = m.get_sdk_version(), m.get_sdk_version()
    assert first == second == "0.5.0"
    assert first is not second
    with pytest.raises(TypeError, match="get_sdk_version\\(\\) takes no arguments \\(1 given\\)$"):
        m.get_sdk_version(1)


CAPTURE = """
import json, logging
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append([record.name, record.levelname, record.getMessage()])
logging.getLogger().addHandler(Keep())
logging.getLogger().setLevel(logging.DEBUG)
"""


def test_import_logs_the_version_once_prints_nothing_and_starts_no_thread(run_python):
    result = run_python(CAPTURE + "import os\nbefore = len(os.listdir('/proc/self/task'))\n"
                        "import ovik_sdk.main_mod\nprint(json.dumps([records, len(os.listdir('/proc/self/task')) - before]))")
    assert (result.returncode, result.stderr) == (0, "")
    assert json.loads(result.stdout) == [[["ovik_sdk.python.py_mod", "INFO", "ovik_sdk version: 0.5.0"]], 0]
    quiet = run_python("import ovik_sdk.main_mod")
    assert (quiet.returncode, quiet.stdout, quiet.stderr) == (0, "", "")


def test_a_second_import_runs_the_execution_step_again(run_python):
    code = CAPTURE + """
import sys
import ovik_sdk.main_mod as first
del sys.modules["ovik_sdk.main_mod"]
import ovik_sdk.main_mod as second
print(json.dumps([first is second, first.__all__ == second.__all__, first.LogLevel is second.LogLevel, records]))
"""
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    same, equal_names, shared_class, records = json.loads(result.stdout)
    assert (same, equal_names, shared_class) == (False, True, True)
    assert records == [["ovik_sdk.python.py_mod", "INFO", "ovik_sdk version: 0.5.0"]] * 2


def test_import_fails_when_logging_cannot_be_imported(run_python):
    code = """
import sys
sys.modules["logging"] = None
try:
    import ovik_sdk.main_mod
except ImportError as error:
    print(str(error))
    print(type(error.__cause__).__name__)
"""
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith("Failed to initialize python logging: ")
    assert "logging" in lines[0]
    assert lines[1] == "ModuleNotFoundError"
