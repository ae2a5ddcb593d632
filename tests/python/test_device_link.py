"""OvikDevice and SerialStream over a fake device on a pseudo-terminal: the
link, the commands and raw writes, and SensorProfile."""
import asyncio
import contextlib
import logging

import pytest
from google.protobuf.internal.encoder import _VarintBytes as varint

import ovik_sdk.main_mod as m
from fakes.kit import decode_host, device_frame
from fakes.pty_link import PtyDevice

M = m.MsgType.Ovik
# The module looks up each target's levels once per process: set before any test logs.
for target in ("serial.serialport", "proto.enums", "python.py_device"):
    logging.getLogger(f"ovik_sdk.{target}").setLevel(logging.DEBUG)
CLASSES = [m.OvikDevice, m.SerialStream]
ALIASES = [("open_serial_stream", "close_serial_stream"), ("start_data_stream", "stop_data_stream")]


def run(main, timeout=30):
    return asyncio.run(asyncio.wait_for(main, timeout))


@contextlib.asynccontextmanager
async def opened(cls=m.OvikDevice, parser=None):
    with PtyDevice() as pty:
        link = cls(pty.path, 115200)
        await link.open_serial_stream(parser or m.MessageParser("dev", M))
        yield pty, link
        await link.close_serial_stream()


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("open_name, close_name", ALIASES)
def test_open_receive_close_reopen_and_a_second_open(cls, open_name, close_name, caplog):
    async def main():
        with PtyDevice() as pty:
            link, parser = cls(pty.path, 115200), m.MessageParser("created-as", M)
            stream = parser.message_stream()
            for _ in range(2):  # the port is free again as soon as the close completes
                await getattr(link, open_name)(parser)
                pty.send(device_frame(msg_id=7))
                assert await stream.__anext__() == b'{"Ovik":{"Sensor2App":{"msgId":7}}}'
                with pytest.raises(RuntimeError, match="^Failed to open serial port: Unable to acquire exclusive lock"):
                    await getattr(link, open_name)(parser)
                pty.send(device_frame(msg_id=8))
                assert await stream.__anext__() == b'{"Ovik":{"Sensor2App":{"msgId":8}}}'
                assert await getattr(link, close_name)() is None
            return pty.path

    path = run(main())
    texts = [r.getMessage() for r in caplog.records]
    assert texts.count(f"Connected to port: {path}") == 2
    assert texts.count(f'Received message, device_id: {path}, message: {{"Sensor2App":{{"msgId":7}}}}') == 2


@pytest.mark.parametrize("cls", CLASSES)
def test_a_missing_port_fails_to_open_and_closing_still_completes(cls):
    async def main():
        link = cls("/dev/no-such-port", 9600)
        with pytest.raises(RuntimeError, match="^Failed to open serial port: No such file or directory$"):
            await link.start_data_stream(m.MessageParser("dev", M))
        assert await link.close_serial_stream() is None
        assert await link.stop_data_stream() is None

    run(main())


def test_a_close_never_awaited_still_takes_the_link_down():
    async def main():
        async with opened(m.SerialStream) as (pty, link):
            link.close_serial_stream()
            with pytest.raises(RuntimeError, match="^Serial writer is missing or not connected$"):
                await link.write_data(b"x")
            assert pty.wait_frames(1, timeout=0.2) == []

    run(main())


@pytest.mark.parametrize("bad, text", [
    (1, "argument 'py_parser': 'int' object is not an instance of 'MessageParser'"),
    (None, "argument 'py_parser': 'None' is not an instance of 'MessageParser'"),
])
def test_a_wrong_parser_is_refused_and_the_object_stays_usable(bad, text):
    async def main():
        with PtyDevice() as pty:
            device = m.OvikDevice(pty.path, 115200)
            with pytest.raises(TypeError) as refused:
                device.open_serial_stream(bad)
            assert str(refused.value) == text
            await device.open_serial_stream(m.MessageParser("dev", M))
            await device.close_serial_stream()

    run(main())


def payload(frame_id, rest):
    return b"\x08" + varint(frame_id) + bytes.fromhex(rest)


COMMANDS = [  # method, arguments, destination, payload after the msg_id
    ("get_device_info", (), 3, "1001"),
    ("get_port_stat", (), 3, "1003"),
    ("get_sensor_cfg", (), 3, "1004"),
    ("start_sensor_data_stream", (), 3, "1006"),
    ("stop_sensor_data_stream", (), 3, "1007"),
    ("set_flex_config", (m.SamplingRate.SAMPLING_RATE_100,), 3, "ca01020804"),
    ("set_flex_config", (m.SamplingRate.SAMPLING_RATE_NONE,), 3, "ca0100"),
    ("set_emg_config", (m.AfeSampleRate.AFE_SR_500, 255), 3, "a20105080410ff01"),
    ("set_emg_config", (m.AfeSampleRate.AFE_SR_500, 4294967295), 3, "a201080804" "10ffffffff0f"),
    ("set_imu_config", (m.ImuSampleRate.IMU_SR_100, m.UploadDataType.RAW_DATA), 3, "5206080310042001"),
    ("set_mag_config", (m.MagSampleRate.MAG_SR_50, m.UploadDataType.CALIBRATED_DATA), 3, "5a0408041002"),
    ("set_imu_calibration_config", (m.ImuSampleRate.IMU_SR_100, m.UploadDataType.RAW_DATA, None, None), 3,
     "5206080310042001"),
    ("set_mag_calibration_config", (m.MagSampleRate.MAG_SR_50, m.UploadDataType.CALIBRATED_DATA, None, None), 3,
     "5a0408041002"),
    ("get_dongle_info", (), 2, "1002"),
    ("get_dongle_pair_cfg", (), 2, "1004"),
    ("get_dongle_pair_stat", (), 2, "1005"),
]


def test_every_command_writes_its_payload_with_consecutive_ids(caplog):
    async def main():
        async with opened() as (pty, device):
            for name, args, _, _ in COMMANDS:
                await getattr(device, name)(*args)
            return pty.wait_frames(len(COMMANDS))

    frames = run(main())
    first = decode_host(frames[0]).msg_id
    for index, (received, (name, _, destination, rest)) in enumerate(zip(frames, COMMANDS)):
        assert (received.crc_ok, received.source, received.destination) == (True, 1, destination), name
        assert received.payload == payload(first + index, rest), name
    port_stat = frames[1].raw
    assert [r.getMessage() for r in caplog.records if r.name.endswith("py_device")] == [
        "get_port_stat", f"get_port_stat: {list(port_stat)}"]


CALIBRATIONS = [  # acc_offset, gyro_offset -> present sub-messages
    ((1, 2, 3), None, {"acc_correction": (1, 2, 3)}),
    (None, (0, 0, 0), {"gyro_correction": (0, 0, 0)}),
    ((1, 0, 0), (0, 0.5, 0), {"acc_correction": (1, 0, 0), "gyro_correction": (0, 0.5, 0)}),
]
MAG_CALIBRATIONS = [  # hard_iron, soft_iron -> hard-iron correction, soft-iron rows
    (None, [(1, 0, 0), (0, 1, 0), (0, 0, 1)], None, [(1, 0, 0), (0, 1, 0), (0, 0, 1)]),
    ((1, 2, 3), None, (1, 2, 3), []),
    ((1, 2, 3), [], (1, 2, 3), []),
    (None, [(0, 0, 0)], None, [(0, 0, 0)]),
]


def xyz(message):
    return (message.x, message.y, message.z)


def test_calibration_values_present_as_given():
    async def main():
        async with opened() as (pty, device):
            for acc, gyro, _ in CALIBRATIONS:
                await device.set_imu_calibration_config(m.ImuSampleRate.IMU_SR_100, m.UploadDataType.RAW_DATA, acc, gyro)
            for hard, soft, _, _ in MAG_CALIBRATIONS:
                await device.set_mag_calibration_config(m.MagSampleRate.MAG_SR_50, m.UploadDataType.RAW_DATA, hard, soft)
            return [decode_host(f) for f in pty.wait_frames(len(CALIBRATIONS) + len(MAG_CALIBRATIONS))]

    sent = run(main())
    for message, (_, _, present) in zip(sent, CALIBRATIONS):
        calibration = message.imu_config.imu_calibration
        assert {f.name: xyz(v) for f, v in calibration.ListFields()} == present
    for message, (_, _, hard, rows) in zip(sent[len(CALIBRATIONS):], MAG_CALIBRATIONS):
        calibration = message.mag_config.mag_calibration
        assert not calibration.HasField("mag_local_field")
        assert (xyz(calibration.mag_hard_iron_correction) if hard else None) == hard
        assert calibration.HasField("mag_hard_iron_correction") == (hard is not None)
        assert [xyz(r) for r in calibration.mag_soft_iron_correction] == rows


def test_write_data_sends_the_bytes_as_they_were_at_the_call():
    async def main():
        async with opened(m.SerialStream) as (pty, link):
            data = bytearray(b"QOVA\x02\x0c\x00\x00\x01\x03\x00")
            pending = link.write_data(data + bytes([0x01, 0x40]))
            data[0] = 0
            await pending
            await link.write_data(b"")
            await link.write_data([0x51, 0x4F])
            assert [f.raw for f in pty.wait_frames(1)] == [b"QOVA\x02\x0c\x00\x00\x01\x03\x00\x01\x40"]
            await asyncio.sleep(0.05)
            assert pty.splitter.pending == b"QO"

    run(main())


ARGUMENT_ERRORS = [
    (lambda d: d.set_flex_config(3), TypeError, "argument 'fs': 'int' object is not an instance of 'SamplingRate'"),
    (lambda d: d.set_flex_config(m.ImuSampleRate.IMU_SR_100), TypeError,
     "argument 'fs': 'ImuSampleRate' object is not an instance of 'SamplingRate'"),
    (lambda d: d.set_emg_config(m.AfeSampleRate.AFE_SR_500, -1), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda d: d.set_emg_config(m.AfeSampleRate.AFE_SR_500), TypeError,
     "OvikDevice.set_emg_config() missing 1 required positional argument: 'channel_bits'"),
    (lambda d: d.get_device_info(1), TypeError, "OvikDevice.get_device_info() takes no arguments (1 given)"),
    (lambda d: d.set_imu_calibration_config(m.ImuSampleRate.IMU_SR_100, m.UploadDataType.RAW_DATA, [1, 2], None),
     ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda d: d.set_imu_calibration_config(m.ImuSampleRate.IMU_SR_100, m.UploadDataType.RAW_DATA, 5, None),
     TypeError, "argument 'acc_offset': 'int' object is not an instance of 'Sequence'"),
    (lambda d: d.set_mag_calibration_config(m.MagSampleRate.MAG_SR_50, m.UploadDataType.RAW_DATA, None, "abc"),
     TypeError, "argument 'soft_iron': Can't extract `str` to `Vec`"),
    (lambda d: d.set_mag_calibration_config(m.MagSampleRate.MAG_SR_50, m.UploadDataType.RAW_DATA, None, [[1, 2]]),
     ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda d: d.update_sensor_config(None), TypeError,
     "argument 'profile': 'None' is not an instance of 'SensorProfile'"),
    (lambda d: m.SerialStream("p", 1).write_data("ab"), TypeError, "argument 'data': Can't extract `str` to `Vec`"),
    (lambda d: m.SerialStream("p", 1).write_data([256]), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda d: m.OvikDevice("p", -1), OverflowError, "out of range integral type conversion attempted"),
    (lambda d: m.OvikDevice("p", 4294967296), OverflowError, "out of range integral type conversion attempted"),
    (lambda d: m.SerialStream("p", "9600"), TypeError, "argument 'baudrate': 'str' object cannot be interpreted as an integer"),
    (lambda d: m.SerialStream(5, 9600), TypeError, "argument 'port_name': 'int' object is not an instance of 'str'"),
]


@pytest.mark.parametrize("index", range(len(ARGUMENT_ERRORS)))
def test_argument_errors_take_no_message_id_and_write_nothing(index):
    call, kind, text = ARGUMENT_ERRORS[index]

    async def main():
        device = m.OvikDevice("/dev/never-opened", 9600)
        with pytest.raises(kind) as refused:
            call(device)
        assert str(refused.value) == text
        with pytest.raises(RuntimeError, match="^Serial writer is missing or not connected$"):
            await device.get_sensor_cfg()

    run(main())


PROFILE_FIELDS = [
    ("flex_rate", m.SamplingRate.SAMPLING_RATE_100),
    ("imu_rate", m.ImuSampleRate.IMU_SR_100),
    ("imu_data_type", m.UploadDataType.CALIBRATED_DATA),
    ("emg_rate", m.AfeSampleRate.AFE_SR_500),
    ("emg_channel_bits", 0),
    ("mag_rate", m.MagSampleRate.MAG_SR_50),
    ("mag_data_type", m.UploadDataType.TYPE_UNSPECIFIED),
]


@pytest.mark.parametrize("position, name, value", [(i, *f) for i, f in enumerate(PROFILE_FIELDS)])
def test_sensor_profile_fields(position, name, value):
    assert all(getattr(m.SensorProfile(), n) is None for n, _ in PROFILE_FIELDS)
    by_position = m.SensorProfile(*([None] * position + [value]))
    assert getattr(by_position, name) is value
    wrong = m.ImuSampleRate.IMU_SR_50 if name != "imu_rate" else m.MagSampleRate.MAG_SR_50
    with pytest.raises(TypeError, match=f"^argument '{name}': "):
        setattr(by_position, name, wrong if name != "emg_channel_bits" else "16")
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(by_position, name)
    assert getattr(by_position, name) is value
    setattr(by_position, name, None)
    assert getattr(by_position, name) is None


def test_sensor_profile_channel_bits_range():
    profile = m.SensorProfile(emg_channel_bits=4294967295)
    assert profile.emg_channel_bits == 4294967295
    with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
        profile.emg_channel_bits = 4294967296
    with pytest.raises(TypeError, match="^argument 'flex_rate': 'int' object is not an instance of 'SamplingRate'$"):
        m.SensorProfile(3)
    assert profile.emg_channel_bits == 4294967295
