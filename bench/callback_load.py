"""Load for the callback tests: four threads feed parsers of their own with
every record kind while every callback kind is set (one calls getters, one
registers itself again, one raises) and the main thread calls getters and
capacity setters. `python3 callback_load.py SECONDS` prints the resident set
size in KiB once a second and then exits with the load still running."""

import logging
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import ovik_sdk.main_mod as m  # noqa: E402
from sensor_records import emg, flex, imu, mag  # noqa: E402
from test_parser_classes import sensor_app  # noqa: E402

logging.getLogger("ovik_sdk").addHandler(logging.NullHandler())  # the "full" warnings and Error records
CHUNK = b"".join(make(s) for s in range(40) for make in (emg, flex, imu, mag)) + sensor_app(1)


def feed():
    parser = m.MessageParser("load", m.MsgType.Ovik)
    while True:
        parser.receive_data("load", CHUNK)
        time.sleep(0.001)


def again(rows):
    m.set_emg_data_callback(again)


def fail(rows):
    raise RuntimeError("raised on purpose")


m.set_emg_data_callback(again)
m.set_flex_data_callback(lambda rows: m.get_imu_buffer(5, False))
m.set_mag_data_callback(fail)
for kind in ("msg_resp", "imu_data", "imu_calibration_data", "mag_calibration_data", "euler_data",
             "quaternion_data"):
    getattr(m, f"set_{kind}_callback")(lambda *args: None)
for _ in range(4):
    threading.Thread(target=feed, daemon=True).start()

end = time.monotonic() + float(sys.argv[1])
next_report = time.monotonic() + 1
round_ = 0
while time.monotonic() < end:
    round_ += 1
    for getter in (m.get_emg_buffer, m.get_euler_buffer, m.get_mag_calibration_buff, m.get_quaternion_buffer):
        getter(round_ % 50, round_ % 7 == 0)
    m.set_imu_buffer_cfg(round_ % 2000)
    m.set_emg_buffer_cfg(2000 - round_ % 2000)
    if time.monotonic() >= next_report:
        next_report += 1
        with open("/proc/self/statm") as statm:
            print(int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024, flush=True)
