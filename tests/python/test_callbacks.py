# Callback registration and delivery, fed through MessageParser.receive_data.
import asyncio
import pathlib
import re
import struct
import subprocess
import sys
import threading
import time

import pytest

import ovik_sdk.main_mod as m
from fakes.pty_link import PtyDevice
from sensor_records import ROWS, emg, flex, imu, mag
from test_parser_classes import sensor_app
from test_shutdown import exits_cleanly_every_time

HERE = pathlib.Path(__file__).resolve().parent
SET = {name[4:-9].removesuffix("_data"): getattr(m, name) for name in m.__all__ if name.endswith("_callback")}


def feed(*frames, device_id="dev"):
    m.MessageParser("dev", m.MsgType.Ovik).receive_data(device_id, b"".join(frames))


def wait_until(predicate):
    deadline = time.monotonic() + 10
    while not predicate() and time.monotonic() < deadline:
        time.sleep(0.002)
    assert predicate()


def recorder(calls, kind):
    return lambda *args: calls.append((kind, *args))


@pytest.fixture
def calls():
    yield []
    for setter in SET.values():
        setter(None)


def test_each_kind_gets_its_rows_in_order_and_a_callable_may_replace_or_empty_its_own_slot(calls):
    for kind, setter in SET.items():
        setter(func=recorder(calls, kind))
    second = recorder(calls, "imu")  # takes item 8, then empties the slot: item 9 comes without IMU rows
    SET["imu"](lambda rows: calls.append(("imu", rows)) or SET["imu"](lambda r: second(r) or SET["imu"](None)))
    feed(sensor_app(5), *(make(s) for s in (7, 8) for make in (emg, flex, imu, mag)), imu(9), device_id="left")
    wait_until(lambda: len(calls) == 20)
    assert [c for c in calls if c[0] == "msg_resp"] == [("msg_resp", "left", '{"Sensor2App":{"msgId":5}}')]
    as_f32 = [[struct.unpack("<f", struct.pack("<f", v))[0] for v in row] for row in ROWS["emg"](7)]
    assert calls[[c[0] for c in calls].index("emg")] == ("emg", as_f32) != ("emg", ROWS["emg"](7))
    for group in (["flex"], ["quaternion"], ["imu", "imu_calibration", "euler"], ["mag", "mag_calibration"]):
        assert [c for c in calls if c[0] in group] == [(k, ROWS[k](s)) for s in (7, 8, 9) for k in group
                                                       if s < 9 or k in ("quaternion", "imu_calibration", "euler")]
    assert {type(v) for c in calls if c[0] != "msg_resp" for row in c[1] for v in row} == {float}


def test_seq_num_reaches_every_float_row_exactly(calls):  # a 32-bit float holds 2**24 + 1 as 2**24
    seqs = [2**24 - 1 + i for i in range(8)] + [2**32 - 2]
    kinds = [kind for kind in SET if kind != "msg_resp"]
    for kind in kinds:
        SET[kind](recorder(calls, kind))
    feed(*(make(s) for s in seqs for make in (emg, flex, imu, mag)))
    owed = {kind: [s for s in seqs for _ in ROWS[kind](s)] for kind in kinds}
    wait_until(lambda: sum(len(rows) for _, rows in calls) == sum(map(len, owed.values())))
    got = {kind: [row[0] for k, rows in calls if k == kind for row in rows] for kind in kinds}
    for getter, kind in [("get_euler_buffer", "euler"), ("get_quaternion_buffer", "quaternion"),
                         ("get_mag_calibration_buff", "mag_calibration"), ("get_emg_buffer", "emg")]:
        got[getter] = [row[0] for row in getattr(m, getter)(len(seqs), False)]
        owed[getter] = owed[kind]
    assert got == owed


@pytest.mark.parametrize("func, text", [
    (5, "PyErr { type: <class 'TypeError'>, value: TypeError(\"'int' object is not callable\"), traceback: None }"),
    (lambda rows: 1 / 0, "PyErr { type: <class 'ZeroDivisionError'>, value: ZeroDivisionError('division by zero'), "
                         "traceback: Some(<traceback object at 0x…>) }")])
def test_one_error_record_per_failed_item_and_none_for_a_failed_message(calls, caplog, func, text):
    SET["emg"](func)
    SET["msg_resp"](lambda *args: recorder(calls, "msg")(*args) or 1 / 0)
    feed(sensor_app(1), emg(1), sensor_app(2), emg(2))
    failures = lambda: [(r.levelname, r.getMessage()) for r in caplog.records  # noqa: E731
                        if r.name.startswith("ovik_sdk.python")]
    wait_until(lambda: len(failures()) == 2 and len(calls) == 2)
    assert [(level, re.sub("0x[0-9a-f]+", "0x…", message)) for level, message in failures()] == [
        ("ERROR", "Error calling callback: " + text)] * 2


def test_the_calls_of_a_kind_share_one_python_thread_state(calls):
    # A thread state made for a call and dropped after it forgets what a
    # threading.local holds.
    local = threading.local()

    def mark(rows):
        calls.append(getattr(local, "seq", None))
        local.seq = int(rows[0][0])

    SET["emg"](mark)
    for seq in range(4):
        feed(emg(seq))
        wait_until(lambda: len(calls) == seq + 1)
    assert calls == [None, 0, 1, 2]


def test_a_python_thread_feeding_flat_out_loses_nothing(calls, caplog):
    # The feeding thread holds the interpreter lock from call to call; the
    # deliveries must get it often enough to keep every dispatcher below its
    # bound.
    data = b"".join(emg(seq) for seq in range(6_000))
    SET["emg"](lambda rows: calls.extend(int(row[0]) for row in rows))
    parser = m.MessageParser("dev", m.MsgType.Ovik)
    for start in range(0, len(data), 4096):
        parser.receive_data("dev", data[start:start + 4096])
    wait_until(lambda: len(calls) >= 6_000 or any("is full" in r.getMessage() for r in caplog.records))
    assert [r.getMessage() for r in caplog.records if r.levelname == "WARNING"] == []
    assert calls == list(range(6_000))


def spin(stop):
    while not stop.is_set():
        pass


# EMG's callable keeps its thread while the interpreter lock is busy: a Python
# thread computes, or the main thread feeds without a pause. IMU's rows all
# reach their callable meanwhile, in order; EMG drops only what its line of
# 1024 cannot hold, and delivers the rest once free.
@pytest.mark.parametrize("count, pause, computing", [(100, 0.005, True), (3000, 0, False)],
                         ids=["a thread computing", "the main thread feeding flat out"])
def test_a_blocked_callable_holds_back_only_its_own_kind_while_the_lock_is_busy(calls, caplog, count, pause,
                                                                                computing):
    go, stop, emg_calls = threading.Event(), threading.Event(), []
    SET["emg"](lambda rows: go.wait(30) and emg_calls.append(rows))
    SET["imu"](lambda rows: calls.extend(int(row[0]) for row in rows))
    parser = m.MessageParser("dev", m.MsgType.Ovik)
    spinner = threading.Thread(target=spin, args=(stop,))
    try:
        if computing:
            spinner.start()
        for seq in range(count):
            parser.receive_data("dev", emg(seq) + imu(seq))
            if pause:
                time.sleep(pause)
        wait_until(lambda: len(calls) == count)
    finally:
        go.set()
        stop.set()
        if computing:
            spinner.join()
    warnings = lambda: [r.getMessage() for r in caplog.records if r.levelname == "WARNING"]  # noqa: E731
    wait_until(lambda: len(emg_calls) + len(warnings()) == count)
    assert calls == list(range(count))
    assert set(warnings()) <= {"⚠️  EMG callback dispatcher is full (lagging callback). Dropping sample to prevent "
                               "memory overflow!"}
    assert max(0, count - 1025) <= len(warnings()) <= max(0, count - 1024)


# EMG at 1 kHz and IMU at 100 Hz for 2 s, written by another process (a Python
# thread would wait for the interpreter lock like the SDK's threads do).
PACED_WRITER = """
import os, select, sys, time
sys.path.insert(0, sys.argv[2])
from sensor_records import emg, imu
fd, began = int(sys.argv[1]), time.monotonic()
for tick in range(2000):
    data = emg(tick) + (imu(tick // 10) if tick % 10 == 0 else b"")
    while data:
        select.select([], [fd], [])
        try:
            data = data[os.write(fd, data):]
        except BlockingIOError:
            pass
    time.sleep(max(0, began + (tick + 1) / 1000 - time.monotonic()))
"""


# A device streams while EMG's callable is blocked and a Python thread
# computes. The port's reader logs a warning for each EMG item it drops:
# waiting for the busy interpreter lock once per warning, it would fall behind
# the port and hold every kind back. IMU's rows all arrive while EMG is blocked.
def test_a_blocked_callable_does_not_slow_the_port_reader_while_the_lock_is_busy(calls):
    go, stop = threading.Event(), threading.Event()
    SET["emg"](lambda rows: go.wait(30))
    SET["imu"](lambda rows: calls.extend(int(row[0]) for row in rows))
    spinner = threading.Thread(target=spin, args=(stop,))

    async def main():
        with PtyDevice() as pty:
            link = m.SerialStream(pty.path, 115200)
            await link.open_serial_stream(m.MessageParser("dev", m.MsgType.Ovik))
            spinner.start()
            try:
                writer = subprocess.Popen([sys.executable, "-c", PACED_WRITER, str(pty.master), str(HERE)],
                                          pass_fds=[pty.master])
                while writer.poll() is None:
                    await asyncio.sleep(0.05)
                await asyncio.sleep(0.5)
                return list(calls)
            finally:
                go.set()
                stop.set()
                spinner.join()
                await link.close_serial_stream()

    assert asyncio.run(main()) == list(range(200))


@pytest.mark.timeout(300)
def test_exit_while_every_kind_is_delivered_under_load(run_python):
    load = pathlib.Path(__file__).parents[2] / "bench" / "callback_load.py"
    code = f"import runpy, sys; sys.argv = ['', '1']; runpy.run_path({str(load)!r}, run_name='__main__')"
    exits_cleanly_every_time(run_python, code)
