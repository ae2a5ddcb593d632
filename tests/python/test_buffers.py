# Buffer getters, emptying, capacities and the fusion mode, fed through MessageParser.receive_data.
import logging
import pathlib

import pytest

import ovik_sdk.main_mod as m
from sensor_records import ROWS, emg, flex, imu, mag

GETTERS = {"get_flex_buffer": (flex, "flex", float), "get_emg_buffer": (emg, "emg", float),
           "get_imu_buffer": (imu, "imu_words", int), "get_mag_buffer": (mag, "mag_words", int),
           "get_imu_calibration_buff": (imu, "imu_calibration", float),
           "get_mag_calibration_buff": (mag, "mag_calibration", float),
           "get_euler_buffer": (imu, "euler", float), "get_quaternion_buffer": (imu, "quaternion", float)}
SEQS = range(39991, 40001)  # records 1 to 10


@pytest.fixture(autouse=True)
def empty_buffers():
    for kind in ("flex", "emg", "imu", "mag"):
        getattr(m, f"clear_{kind}_buffer")()
        getattr(m, f"set_{kind}_buffer_cfg")(1000)
    m.get_quaternion_buffer(10**9, True)


def feed(make, records):
    m.MessageParser("dev", m.MsgType.Ovik).receive_data("dev", b"".join(make(SEQS[r - 1]) for r in records))


def rows(getter, records):
    return [row for r in records for row in ROWS[GETTERS[getter][1]](SEQS[r - 1])]


@pytest.mark.parametrize("calls, returned, left", [
    ([(3, False), (3, False)], [[8, 9, 10], [5, 6, 7]], [1, 2, 3, 4]), ([(3, True)], [[8, 9, 10]], []),
    ([(20, False)], [range(1, 11)], [])])
@pytest.mark.parametrize("getter", GETTERS)
def test_getters_return_the_newest_records_oldest_first(getter, calls, returned, left):
    feed(GETTERS[getter][0], range(1, 11))
    with pytest.raises(TypeError, match="^argument 'clean': 'int' object is not an instance of 'bool'$"):
        getattr(m, getter)(3, 1)
    for (take, clean), records in zip(calls, returned):
        got = getattr(m, getter)(take=take, clean=clean)
        assert (got, {type(v) for row in got for v in row} - {GETTERS[getter][2]}) == (rows(getter, records), set())
    assert getattr(m, getter)(100, False) == rows(getter, left)


@pytest.mark.parametrize("call, getter, left", [  # left: the records the getter then finds
    ("set_emg_buffer_cfg(buff_len=2)", "get_emg_buffer", "34"),
    ("set_flex_buffer_cfg(buff_len=2)", "get_flex_buffer", "34"),
    ("set_mag_buffer_cfg(mag_buffer_len=2)", "get_mag_buffer", "34"),
    ("set_imu_buffer_cfg(imu_buffer_len=2)", "get_quaternion_buffer", "34"),
    ("get_euler_buffer(2, False)", "get_imu_buffer", "34"), ("clear_imu_buffer()", "get_quaternion_buffer", "1234"),
    ("get_mag_buffer(2, False)", "get_mag_calibration_buff", "34")])
def test_what_a_call_between_two_appends_leaves_in_a_buffer(call, getter, left):
    feed(GETTERS[getter][0], [1, 2])
    eval("m." + call)
    feed(GETTERS[getter][0], [3, 4])
    assert getattr(m, getter)(100, False) == rows(getter, map(int, left))


def test_a_refused_fusion_mode_changes_nothing_and_each_change_is_logged(caplog):
    caplog.set_level(logging.INFO, "ovik_sdk.ovik.data")
    m.set_fusion_mode(m.FusionMode.Marg9Axis)
    with pytest.raises(TypeError, match="^argument 'mode': 'int' object is not an instance of 'FusionMode'$"):
        m.set_fusion_mode(0)
    m.set_fusion_mode(mode=m.FusionMode.Imu6Axis)
    assert [(r.name, r.levelname, r.getMessage()) for r in caplog.records] == [("ovik_sdk.ovik.data", "INFO", (
        f"Attitude fusion mode configured to: {mode}")) for mode in ("Marg9Axis", "Imu6Axis")]


def test_every_buffer_keeps_the_newest_1000_records_by_default(run_python):
    code = f"""import sys; sys.path.insert(0, {str(pathlib.Path(__file__).parent)!r})
import ovik_sdk.main_mod as m
from sensor_records import emg, flex, imu, mag
parser = m.MessageParser("dev", m.MsgType.Ovik)
for s in range(1001):
    parser.receive_data("dev", emg(s) + flex(s) + imu(s) + mag(s))
print([(len(rows), rows[0][0]) for rows in (getattr(m, f"get_{{kind}}_buffer")(2000, False)
                                            for kind in ("emg", "flex", "imu", "mag", "quaternion"))])"""
    result = run_python(code)
    assert (result.stdout, result.stderr) == ("[(1000, 1.0), (1000, 1.0), (1000, 1), (1000, 1), (1000, 1.0)]\n", "")
