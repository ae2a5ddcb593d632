"""Buffer getters, emptying, capacities and the fusion mode, fed through
MessageParser.receive_data with frames built independently."""

import inspect

import pytest

import ovik_sdk.main_mod as m
from sensor_records import (emg, emg_row, euler_row, flex, flex_row, imu, imu_calibration_rows, mag,
                            mag_calibration_rows, quaternion_row, word_seq)

GETTERS = {  # getter: (record frame, rows of one record, element type), in the module's order
    "get_flex_buffer": (flex, lambda s: [flex_row(s)], float),
    "get_emg_buffer": (emg, lambda s: [emg_row(s)], float),
    "get_imu_buffer": (imu, lambda s: [[word_seq(s), 1, 2, 8192, 16, 32, 48]], int),
    "get_mag_buffer": (mag, lambda s: [[word_seq(s), 100, 200, 300]], int),
    "get_imu_calibration_buff": (imu, imu_calibration_rows, float),
    "get_mag_calibration_buff": (mag, mag_calibration_rows, float),
    "get_euler_buffer": (imu, lambda s: [euler_row(s)], float),
    "get_quaternion_buffer": (imu, lambda s: [quaternion_row(s)], float),
}
SEQS = range(39991, 40001)  # records 1 to 10; from 32768 on, the integer rows' seq_num is negative
ALL = list(range(1, 11))

TAKE_CLEAN = [  # calls in order, the records each returns, the records left
    ([(3, False), (3, False)], [[8, 9, 10], [5, 6, 7]], [1, 2, 3, 4]),
    ([(3, True)], [[8, 9, 10]], []),
    ([(0, False)], [[]], ALL),
    ([(0, True)], [[]], []),
    ([(20, False)], [ALL], []),
]


@pytest.fixture(autouse=True)
def empty_buffers():
    for name in ("flex", "emg", "imu", "mag"):
        getattr(m, f"clear_{name}_buffer")()
    m.get_quaternion_buffer(10**9, True)
    yield
    for setter in ("set_flex_buffer_cfg", "set_emg_buffer_cfg", "set_imu_buffer_cfg", "set_mag_buffer_cfg"):
        getattr(m, setter)(1000)


def feed(make, seqs):
    parser = m.MessageParser("dev", m.MsgType.Ovik)
    parser.receive_data("dev", b"".join(make(s) for s in seqs))


def rows_of(getter, records):
    return [row for r in records for row in GETTERS[getter][1](SEQS[r - 1])]


@pytest.mark.parametrize("calls, returned, left", TAKE_CLEAN)
@pytest.mark.parametrize("getter", GETTERS)
def test_getters_return_the_newest_records_oldest_first(getter, calls, returned, left):
    make, _, element = GETTERS[getter]
    feed(make, SEQS)
    get = getattr(m, getter)
    for (take, clean), records in zip(calls, returned):
        rows = get(take, clean)
        assert rows == rows_of(getter, records)
        assert {type(v) for row in rows for v in row} <= {element}
    assert get(100, False) == rows_of(getter, left)


@pytest.mark.parametrize("first, second", [
    ("get_euler_buffer", "get_imu_buffer"),
    ("get_imu_buffer", "get_imu_calibration_buff"),
    ("get_imu_calibration_buff", "get_euler_buffer"),
    ("get_mag_buffer", "get_mag_calibration_buff"),
    ("get_mag_calibration_buff", "get_mag_buffer"),
])
def test_getters_of_one_buffer_take_from_each_other(first, second):
    feed(GETTERS[first][0], SEQS)
    getattr(m, first)(5, False)
    assert getattr(m, second)(100, False) == rows_of(second, [1, 2, 3, 4, 5])


def test_quaternions_survive_clear_imu_buffer():
    feed(imu, SEQS[:3])
    m.clear_imu_buffer()
    assert m.get_imu_buffer(100, False) == []
    assert m.get_quaternion_buffer(100, False) == rows_of("get_quaternion_buffer", [1, 2, 3])


@pytest.mark.parametrize("setter, getter", [
    ("set_emg_buffer_cfg", "get_emg_buffer"),
    ("set_flex_buffer_cfg", "get_flex_buffer"),
    ("set_imu_buffer_cfg", "get_imu_buffer"),
    ("set_imu_buffer_cfg", "get_quaternion_buffer"),
    ("set_mag_buffer_cfg", "get_mag_buffer"),
])
def test_a_capacity_takes_effect_at_the_next_append(setter, getter):
    make, get = GETTERS[getter][0], getattr(m, getter)
    getattr(m, setter)(3)
    feed(make, SEQS[:4])
    getattr(m, setter)(1)
    assert get(1, False) == rows_of(getter, [4])
    assert get(1, False) == rows_of(getter, [3])  # still two held under a cap of one
    feed(make, SEQS[4:6])
    assert get(100, False) == rows_of(getter, [6])


def test_a_refused_argument_leaves_the_buffer_untouched():
    feed(emg, SEQS[:2])
    with pytest.raises(TypeError):
        m.get_emg_buffer(1, 1)
    assert m.get_emg_buffer(100, True) == rows_of("get_emg_buffer", [1, 2])


SIGNATURES = {
    **{f"set_{k}_callback": "(func)" for k in ("msg_resp", "flex_data", "emg_data", "imu_data", "mag_data",
                                                 "imu_calibration_data", "mag_calibration_data", "euler_data",
                                                 "quaternion_data")},
    "set_flex_buffer_cfg": "(buff_len)", "set_emg_buffer_cfg": "(buff_len)",
    "set_imu_buffer_cfg": "(imu_buffer_len)", "set_mag_buffer_cfg": "(mag_buffer_len)",
    **{f"clear_{k}_buffer": "()" for k in ("flex", "emg", "imu", "mag")},
    **{getter: "(take, clean)" for getter in GETTERS},
    "set_fusion_mode": "(mode)",
}


def test_the_new_names_follow_the_fusion_mode_class_with_their_signatures():
    names = m.__all__[m.__all__.index("FusionMode") + 1:]
    assert names == list(SIGNATURES)
    assert {n: str(inspect.signature(getattr(m, n))) for n in names} == SIGNATURES


ARGUMENT_ERRORS = [
    (m.get_emg_buffer, (3,), {}, TypeError, "get_emg_buffer() missing 1 required positional argument: 'clean'"),
    (m.get_mag_buffer, (1, 1), {}, TypeError, "argument 'clean': 'int' object is not an instance of 'bool'"),
    (m.get_flex_buffer, ("1", False), {}, TypeError,
     "argument 'take': 'str' object cannot be interpreted as an integer"),
    (m.get_imu_buffer, (-1, False), {}, OverflowError, "can't convert negative int to unsigned"),
    (m.get_quaternion_buffer, (1, False, 2), {}, TypeError,
     "get_quaternion_buffer() takes 2 positional arguments but 3 were given"),
    (m.set_imu_buffer_cfg, (), {"buff_len": 3}, TypeError,
     "set_imu_buffer_cfg() got an unexpected keyword argument 'buff_len'"),
    (m.set_emg_buffer_cfg, (1.5,), {}, TypeError,
     "argument 'buff_len': 'float' object cannot be interpreted as an integer"),
    (m.set_mag_buffer_cfg, (-1,), {}, OverflowError, "can't convert negative int to unsigned"),
    (m.set_fusion_mode, (0,), {}, TypeError, "argument 'mode': 'int' object is not an instance of 'FusionMode'"),
    (m.set_fusion_mode, (None,), {}, TypeError, "argument 'mode': 'None' is not an instance of 'FusionMode'"),
    (m.set_emg_data_callback, (), {}, TypeError,
     "set_emg_data_callback() missing 1 required positional argument: 'func'"),
    (m.set_euler_data_callback, (print,), {"func": print}, TypeError,
     "set_euler_data_callback() got multiple values for argument 'func'"),
]


@pytest.mark.parametrize("function, args, kwargs, error, text", ARGUMENT_ERRORS)
def test_argument_errors(function, args, kwargs, error, text):
    with pytest.raises(error) as raised:
        function(*args, **kwargs)
    assert str(raised.value) == text


FUSION_MODE = """
import logging, math, sys
sys.path.insert(0, {here!r})
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append((record.name, record.levelname, record.getMessage()))
logging.getLogger("ovik_sdk.ovik.data").addHandler(Keep())
logging.getLogger("ovik_sdk.ovik.data").setLevel(logging.INFO)
import ovik_sdk.main_mod as m
from sensor_records import imu, sensor_app, uint_field, field, words
parser = m.MessageParser("dev", m.MsgType.Ovik)
def yaw_after_a_field_along_y(port):
    parser.receive_data("dev", sensor_app(12, uint_field(1, 1) + field(4, words(0, 300, 0))))
    parser.receive_data("dev", sensor_app(10, uint_field(1, 1) + field(4, words(0, 0, 8192))
                                          + field(6, words(0, 0, 0)) + uint_field(8, port)))
    return m.get_euler_buffer(1, True)[0][1]
m.set_fusion_mode(m.FusionMode.Marg9Axis)
try:
    m.set_fusion_mode(0)
except TypeError:
    pass
print(yaw_after_a_field_along_y(1) != 0)
m.set_fusion_mode(mode=m.FusionMode.Imu6Axis)
print(yaw_after_a_field_along_y(2))
print(records)
"""


def test_a_refused_fusion_mode_leaves_the_mode_and_each_change_is_logged(run_python):
    here = str(__import__("pathlib").Path(__file__).parent)
    result = run_python(FUSION_MODE.format(here=here))
    assert result.stderr == ""
    target = "ovik_sdk.ovik.data"
    assert result.stdout.splitlines() == ["True", "0.0", str([
        (target, "INFO", "Attitude fusion mode configured to: Marg9Axis"),
        (target, "INFO", "Attitude fusion mode configured to: Imu6Axis"),
    ])]
