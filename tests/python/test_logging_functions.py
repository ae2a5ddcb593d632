"""initialize_logging_py and initialize_logging_with_file_py, each in a fresh process."""

import json
import re

import pytest

CONSOLE_VERSION = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\[\x1b\[32mINFO\x1b\[0m\] ovik_sdk version: 0\.5\.0$")
FILE_VERSION = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z\[INFO\] ovik_sdk version: 0\.5\.0$")
LOG_NAME = re.compile(r"^output_\d{8}_\d{6}\.log$")

PRELUDE = """
import json, logging, os, sys
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append([record.name, record.levelname, record.getMessage()])
logging.getLogger("ovik_sdk").addHandler(Keep())
logging.getLogger("ovik_sdk").setLevel(logging.DEBUG)
from ovik_sdk.main_mod import LogLevel, initialize_logging_py, initialize_logging_with_file_py
"""

REPORT = """
sys.stdout.flush()
sys.stderr.write(json.dumps(records) + "\\n")
"""

VERSION_RECORD = ["ovik_sdk.utils.logging_desktop", "INFO", "ovik_sdk version: 0.5.0"]
IMPORT_RECORD = ["ovik_sdk.python.py_mod", "INFO", "ovik_sdk version: 0.5.0"]


def records_of(result):
    return json.loads(result.stderr.splitlines()[-1])


def test_console_only_set_up_then_a_second_call_runs_nothing_new(run_python, tmp_path):
    result = run_python(PRELUDE + """
initialize_logging_with_file_py(LogLevel.Debug, False)
initialize_logging_py(LogLevel.Error)
""" + REPORT)
    assert result.returncode == 0, result.stderr
    assert not (tmp_path / "logs").exists()
    lines = result.stdout.splitlines()
    assert len(lines) == 2 and all(CONSOLE_VERSION.match(line) for line in lines), lines
    assert records_of(result) == [IMPORT_RECORD, VERSION_RECORD, VERSION_RECORD]


def test_initialize_logging_py_alone_creates_the_log_file(run_python, tmp_path):
    result = run_python(PRELUDE + "initialize_logging_py(LogLevel.Info)\n" + REPORT)
    assert result.returncode == 0, result.stderr
    files = list((tmp_path / "logs").iterdir())
    assert len(files) == 1 and LOG_NAME.match(files[0].name), files
    file_lines = files[0].read_text().splitlines()
    assert len(file_lines) == 1 and FILE_VERSION.match(file_lines[0]), file_lines
    assert CONSOLE_VERSION.match(result.stdout.splitlines()[0])
    assert records_of(result) == [IMPORT_RECORD, VERSION_RECORD]


def test_the_file_name_follows_a_time_zone_set_by_the_program(run_python, tmp_path):
    # The process starts in UTC and has used its zone before the program moves
    # it fourteen hours east; the file name must be in the new zone.
    result = run_python("""
import datetime, os, time
time.localtime()
os.environ["TZ"] = "Etc/GMT-14"
zone = datetime.timezone(datetime.timedelta(hours=14))
before = datetime.datetime.now(zone).strftime("%Y%m%d_%H%M")
from ovik_sdk.main_mod import LogLevel, initialize_logging_py
initialize_logging_py(LogLevel.Error)
after = datetime.datetime.now(zone).strftime("%Y%m%d_%H%M")
print(before, after)
""", env={"TZ": "UTC"})
    assert result.returncode == 0, result.stderr
    before, after = result.stdout.split()
    [log_file] = (tmp_path / "logs").iterdir()
    assert log_file.name[len("output_"):-len("SS.log")] in (before, after), (log_file.name, before, after)


def test_a_failed_set_up_fails_every_later_call_with_the_same_text(run_python, tmp_path):
    # Once failed it is not tried again, even when it could now succeed.
    (tmp_path / "logs").write_text("a file where the directory should be")
    result = run_python(PRELUDE + """
for call in (lambda: initialize_logging_py(LogLevel.Info), lambda: os.remove("logs"),
             lambda: initialize_logging_with_file_py(LogLevel.Info, False)):
    try:
        call()
    except RuntimeError as error:
        print(error)
""" + REPORT)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["Failed to create log file: Not a directory"] * 2
    assert not (tmp_path / "logs").exists()
    assert records_of(result) == [IMPORT_RECORD]


def test_concurrent_first_calls_set_up_once(run_python, tmp_path):
    result = run_python(PRELUDE + """
import threading
threads = [threading.Thread(target=initialize_logging_py, args=(LogLevel.Info,)) for _ in range(8)]
for thread in threads: thread.start()
for thread in threads: thread.join()
""" + REPORT)
    assert result.returncode == 0, result.stderr
    assert len(list((tmp_path / "logs").iterdir())) == 1
    assert records_of(result) == [IMPORT_RECORD] + [VERSION_RECORD] * 8
    assert len(result.stdout.splitlines()) == 8


def test_argument_errors_set_up_nothing_and_keywords_and_numpy_bools_are_taken(run_python, tmp_path):
    pytest.importorskip("numpy")
    result = run_python(PRELUDE + """
import numpy
for bad in (lambda: initialize_logging_py(2), lambda: initialize_logging_with_file_py(LogLevel.Info, 0)):
    try:
        bad()
    except TypeError:
        pass
initialize_logging_with_file_py(level=LogLevel.Warn, enable_file_logging=numpy.bool_(False))
initialize_logging_py(level=LogLevel.Info)
""" + REPORT)
    assert result.returncode == 0, result.stderr
    assert not (tmp_path / "logs").exists()
    assert result.stdout == ""  # the version line is Info, below the Warn threshold
    assert records_of(result) == [IMPORT_RECORD, VERSION_RECORD, VERSION_RECORD]
