"""Callback registration and delivery, fed through MessageParser.receive_data."""

import logging
import os
import pathlib
import re
import threading
import time

import pytest

import ovik_sdk.main_mod as m
from sensor_records import (emg, emg_row, euler_row, f32, flex, flex_row, imu, imu_calibration_rows, imu_rows,
                            mag, mag_calibration_rows, mag_rows, quaternion_row)
from test_parser_classes import sensor_app
from test_shutdown import exits_cleanly_every_time

KINDS = ("msg_resp", "flex_data", "emg_data", "imu_data", "mag_data", "imu_calibration_data",
         "mag_calibration_data", "euler_data", "quaternion_data")


def register(kind, func):
    getattr(m, f"set_{kind}_callback")(func)


class Calls:
    """What the callables were called with, in call order."""

    def __init__(self):
        self.calls = []
        self.changed = threading.Condition()

    def recorder(self, kind):
        def record(*args):
            with self.changed:
                self.calls.append((kind, *args))
                self.changed.notify_all()
        return record

    def wait_for(self, count):
        with self.changed:
            assert self.changed.wait_for(lambda: len(self.calls) >= count, timeout=10), self.calls
        return self.calls

    def of(self, *kinds):
        return [call for call in self.calls if call[0] in kinds]


class Records(logging.Handler):
    def __init__(self):
        super().__init__()
        self.records = []

    def emit(self, record):
        self.records.append((record.name, record.levelname, record.getMessage()))


@pytest.fixture
def calls():
    yield Calls()
    for kind in KINDS:
        register(kind, None)


@pytest.fixture
def records():
    handler = Records()
    logging.getLogger("ovik_sdk").addHandler(handler)
    yield handler.records
    logging.getLogger("ovik_sdk").removeHandler(handler)


def feed(*frames):
    m.MessageParser("dev", m.MsgType.Ovik).receive_data("dev", b"".join(frames))


def test_each_kind_gets_its_rows_in_order_and_the_imu_parts_in_item_order(calls):
    for kind in KINDS[1:]:
        register(kind, calls.recorder(kind))
    feed(*(make(s) for s in (7, 8) for make in (emg, flex, imu, mag)))
    calls.wait_for(16)
    assert calls.of("emg_data") == [("emg_data", [[f32(v) for v in emg_row(s)]]) for s in (7, 8)]
    assert calls.of("flex_data") == [("flex_data", [flex_row(s)]) for s in (7, 8)]
    assert calls.of("quaternion_data") == [("quaternion_data", [quaternion_row(s)]) for s in (7, 8)]
    assert calls.of("imu_data", "imu_calibration_data", "euler_data") == [
        call for s in (7, 8) for call in [("imu_data", imu_rows(s)),
                                          ("imu_calibration_data", imu_calibration_rows(s)),
                                          ("euler_data", [euler_row(s)])]]
    assert calls.of("mag_data", "mag_calibration_data") == [
        call for s in (7, 8) for call in [("mag_data", mag_rows(s)), ("mag_calibration_data", mag_calibration_rows(s))]]
    assert {type(v) for call in calls.calls for row in call[1] for v in row} == {float}


@pytest.mark.parametrize("kinds", [("euler_data",), ("imu_data", "euler_data"), ("imu_calibration_data",)])
def test_an_imu_item_carries_only_the_parts_whose_slots_are_set(calls, kinds):
    for kind in kinds:
        register(kind, calls.recorder(kind))
    feed(imu(3))
    calls.wait_for(len(kinds))
    assert [call[0] for call in calls.calls] == list(kinds)


ERROR_TEXTS = [
    (5, r"Error calling callback: PyErr \{ type: <class 'TypeError'>, "
        r"value: TypeError\(\"'int' object is not callable\"\), traceback: None \}"),
    (lambda rows: 1 / 0, r"Error calling callback: PyErr \{ type: <class 'ZeroDivisionError'>, "
                         r"value: ZeroDivisionError\('division by zero'\), "
                         r"traceback: Some\(<traceback object at 0x[0-9a-f]+>\) \}"),
]


@pytest.mark.parametrize("func, text", ERROR_TEXTS)
def test_a_failing_callable_gives_one_error_record_per_item_and_delivery_goes_on(calls, records, func, text):
    register("emg_data", func)
    register("euler_data", calls.recorder("euler_data"))
    feed(emg(1), imu(1), emg(2), imu(2))
    calls.wait_for(2)
    register("emg_data", calls.recorder("emg_data"))
    feed(emg(3))
    calls.wait_for(3)
    failures = [r for r in records if r[0] == "ovik_sdk.python.callback"]
    assert [(name, level) for name, level, _ in failures] == [("ovik_sdk.python.callback", "ERROR")] * 2
    assert all(re.fullmatch(text, message) for _, _, message in failures), failures
    assert calls.of("emg_data") == [("emg_data", [[f32(v) for v in emg_row(3)]])]


def test_the_message_callable_gets_the_device_id_and_json_and_its_errors_are_discarded(calls, records):
    got = calls.recorder("msg_resp")

    def fail_first(device_id, json):
        got(device_id, json)
        if len(calls.calls) == 1:
            raise ValueError("ignored")

    register("msg_resp", fail_first)
    parser = m.MessageParser("dev", m.MsgType.Ovik)
    parser.receive_data("left", sensor_app(5) + emg(1))
    parser.receive_data("right", sensor_app(6))
    assert calls.wait_for(2) == [("msg_resp", "left", '{"Sensor2App":{"msgId":5}}'),
                                 ("msg_resp", "right", '{"Sensor2App":{"msgId":6}}')]
    assert records == []


def test_a_callable_replaces_then_empties_its_own_slot(calls):
    first, second = calls.recorder("first"), calls.recorder("second")

    def replace(rows):
        first(rows[0][0])
        register("imu_data", empty)

    def empty(rows):
        second(rows[0][0])
        register("imu_data", None)

    register("imu_data", replace)
    register("euler_data", calls.recorder("euler_data"))
    feed(imu(1), imu(2), imu(3))
    calls.wait_for(5)
    assert [call[:2] for call in calls.calls] == [("first", 1), ("euler_data", [euler_row(1)]), ("second", 2),
                                                   ("euler_data", [euler_row(2)]), ("euler_data", [euler_row(3)])]


def test_a_stalled_callable_gets_1_plus_1024_items_and_getters_do_not_deadlock(calls, records):
    entered, release = threading.Event(), threading.Event()
    got = calls.recorder("emg_data")

    def stall_once(rows):
        if not entered.is_set():
            entered.set()
            while not release.is_set():  # polls a buffer while the ingestion logs "full"
                m.get_emg_buffer(0, False)
        got(int(rows[0][0]))

    register("emg_data", stall_once)
    feed(emg(0))
    assert entered.wait(10)
    feed(*(emg(s) for s in range(1, 1100)))
    release.set()
    calls.wait_for(1025)
    feed(emg(5000))
    calls.wait_for(1026)
    assert [call[1] for call in calls.calls] == [*range(1025), 5000]
    full = "⚠️  EMG callback dispatcher is full (lagging callback). Dropping sample to prevent memory overflow!"
    assert [r for r in records if r[2] == full] == [("ovik_sdk.utils.callback_dispatcher", "WARNING", full)] * 75


def test_registering_none_on_an_empty_slot_changes_nothing(calls):
    register("flex_data", None)
    register("flex_data", calls.recorder("flex_data"))
    feed(flex(1))
    assert calls.wait_for(1) == [("flex_data", [flex_row(1)])]


LOAD = str(pathlib.Path(__file__).with_name("callback_load.py"))


def load_for(seconds):
    return f"import runpy, sys; sys.argv = ['load', '{seconds}']; runpy.run_path({LOAD!r}, run_name='__main__')"


@pytest.mark.timeout(600)
def test_a_loaded_process_runs_on_with_flat_memory(run_python):
    seconds = int(os.environ.get("OVIK_LOAD_SECONDS", "15"))
    result = run_python(load_for(seconds), timeout=seconds + 30)
    assert (result.returncode, result.stderr) == (0, "")
    rss = [int(line) for line in result.stdout.split()]
    assert len(rss) >= seconds - 1
    assert max(rss[4:]) - rss[4] < 16 * 1024, rss


@pytest.mark.timeout(300)
def test_exit_while_the_load_runs(run_python):
    exits_cleanly_every_time(run_python, load_for(1))
