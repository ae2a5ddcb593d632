"""Sensor-data frames built independently of the SDK, and the rows the SDK
owes for them."""

import struct

from test_parser_classes import frame, varint


def field(number, payload):
    """A length-delimited field."""
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def uint_field(number, value):
    return varint(number << 3) + varint(value)


def words(*values):
    return struct.pack(f"<{len(values)}h", *values)


def floats(*values):
    return struct.pack(f"<{len(values)}f", *values)


def f32(value):
    """A double as it comes back from a 32-bit float."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def sensor_app(number, record):
    return frame(field(number, record))


ACC_SCALE, GYRO_SCALE, MAG_SCALE = 1 / 8192, 0.06103515625, 0.00152587890625
AFE_SCALE_24BIT = 22500 / (2**23 - 1)


def emg(seq):
    """One 24-bit sample of value `seq`, lead-off bits seq + 1."""
    return sensor_app(20, uint_field(1, seq) + uint_field(2, seq + 1) + field(4, seq.to_bytes(3, "big")))


def flex(seq):
    return sensor_app(22, uint_field(2, seq) + field(4, words(1, -1, 32767, -32768, 0, seq % 1000)))


def imu(seq):
    """Raw acc (1, 2, 8192) and gyro (16, 32, 48); two calibration triples, the
    first of which (gravity on z, no rotation) keeps the fusion at identity."""
    return sensor_app(10, uint_field(1, seq) + field(4, words(1, 2, 8192)) + field(6, words(16, 32, 48))
                      + field(9, floats(0, 0, 8192, 8192, 0, 0)) + field(10, floats(0, 0, 0, 16, 32, 48)))


def mag(seq):
    return sensor_app(12, uint_field(1, seq) + field(4, words(100, 200, 300)) + field(5, floats(1, 2, 3, 4, 5)))


def word_seq(seq):
    """seq_num as the integer rows carry it: its low 16 bits, signed."""
    return struct.unpack("<h", struct.pack("<H", seq & 0xFFFF))[0]


def emg_row(seq):
    return [seq, seq + 1, seq * AFE_SCALE_24BIT]


def flex_row(seq):
    return [seq, 1, -1, 32767, -32768, 0, seq % 1000]


def imu_rows(seq):
    return [[seq, f32(ACC_SCALE), f32(2 * ACC_SCALE), 1.0, 0.9765625, 1.953125, 2.9296875]]


def imu_calibration_rows(seq):
    return [[seq, 0, 0, 1, 0, 0, 0], [seq, 1, 0, 0, 0.9765625, 1.953125, 2.9296875]]


def mag_rows(seq):
    return [[seq, 100 * MAG_SCALE, 200 * MAG_SCALE, 300 * MAG_SCALE]]


def mag_calibration_rows(seq):
    return [[seq, MAG_SCALE, 2 * MAG_SCALE, 3 * MAG_SCALE]]


def euler_row(seq):
    return [seq, 0.0, 0.0, 0.0]


def quaternion_row(seq):
    return [seq, 1.0, 0.0, 0.0, 0.0]
