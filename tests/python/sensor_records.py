# Sensor-data frames built independently of the SDK, and the rows owed for them.
import struct

from fakes.pty_link import frame
from test_parser_classes import varint


def fld(number, payload):
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def uint(number, value):
    return varint(number << 3) + varint(value)


def pack(kind, *values):
    return struct.pack(f"<{len(values)}{kind}", *values)


def emg(s):  # one 24-bit sample: seq_num's low 24 bits
    return frame(fld(20, uint(1, s) + uint(2, s + 1) + fld(4, (s % 2**24).to_bytes(3, "big"))))


def flex(s):
    return frame(fld(22, uint(2, s) + fld(4, pack("h", 1, -1, 32767, -32768, 0, s % 999))))


def imu(s):  # the first calibration triple (gravity on z, no rotation) keeps the fusion at identity
    return frame(fld(10, uint(1, s) + fld(4, pack("h", 1, 2, 8192)) + fld(6, pack("h", 16, 32, 48))
                     + fld(9, pack("f", 0, 0, 8192, 8192, 0, 0)) + fld(10, pack("f", 0, 0, 0, 16, 32, 48))))


def mag(s):
    return frame(fld(12, uint(1, s) + fld(4, pack("h", 100, 200, 300)) + fld(5, pack("f", 1, 2, 3, 4, 5))))


G, M = (0.9765625, 1.953125, 2.9296875), 0.00152587890625  # gyro 16, 32, 48 scaled; the magnetometer scale
ROWS = {  # rows owed for record s; integer rows carry seq_num's low 16 bits, signed
    "emg": lambda s: [[s, s + 1, ((s + 2**23) % 2**24 - 2**23) * 22500 / (2**23 - 1)]], "flex": lambda s: [[s, 1, -1, 32767, -32768, 0, s % 999]],
    "imu": lambda s: [[s, 1 / 8192, 2 / 8192, 1, *G]], "euler": lambda s: [[s, 0, 0, 0]],
    "imu_words": lambda s: [[(s + 2**15) % 2**16 - 2**15, 1, 2, 8192, 16, 32, 48]],
    "imu_calibration": lambda s: [[s, 0, 0, 1, 0, 0, 0], [s, 1, 0, 0, *G]], "quaternion": lambda s: [[s, 1, 0, 0, 0]],
    "mag": lambda s: [[s, 100 * M, 200 * M, 300 * M]], "mag_calibration": lambda s: [[s, M, 2 * M, 3 * M]],
    "mag_words": lambda s: [[(s + 2**15) % 2**16 - 2**15, 100, 200, 300]],
}
