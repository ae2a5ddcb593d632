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
for target in ("serial.serialport", "proto.enums", "python.py_device", "proto.ovik.msg_builder.ovik_msg_builder"):
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
    replies = []
    m.set_msg_resp_callback(lambda device_id, text: replies.append((device_id, text)))

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
            while len(replies) < 4:
                await asyncio.sleep(0.01)
            return pty.path

    path = run(main())
    m.set_msg_resp_callback(None)
    assert replies == [(path, '{"Sensor2App":{"msgId":7}}'), (path, '{"Sensor2App":{"msgId":8}}')] * 2
    assert caplog.messages.count(f"Connected to port: {path}") == 2


@pytest.mark.parametrize("cls", CLASSES)
def test_refused_opens_leave_the_object_usable(cls):
    async def main():
        link = cls("/dev/no-such-port", 9600)
        with pytest.raises(RuntimeError, match="^Failed to open serial port: No such file or directory$"):
            await link.start_data_stream(m.MessageParser("dev", M))
        assert await link.close_serial_stream() is None
        with pytest.raises(TypeError, match="^argument 'py_parser': 'int' object is not an instance of 'MessageParser'$"):
            link.open_serial_stream(1)
        assert await link.stop_data_stream() is None

    run(main())


def test_a_close_never_awaited_still_takes_the_link_down(caplog):
    async def main():
        async with opened(m.SerialStream) as (pty, link):
            link.close_serial_stream()
            await asyncio.sleep(0.2)
            assert "listen_serial_stream exited" in caplog.messages
            with pytest.raises(RuntimeError, match="^Serial writer is missing or not connected$"):
                await link.write_data(b"x")

    run(main())


def payload(frame_id, rest):
    return b"\x08" + varint(frame_id) + bytes.fromhex(rest)


IMU = (m.ImuSampleRate.IMU_SR_100, m.UploadDataType.RAW_DATA)
MAG = (m.MagSampleRate.MAG_SR_50, m.UploadDataType.RAW_DATA)
XYZ123 = "0d0000803f15000000401d00004040"
COMMANDS = [  # method, arguments, destination, payload after the msg_id
    ("get_device_info", (), 3, "1001"),
    ("get_port_stat", (), 3, "1003"),
    ("get_sensor_cfg", (), 3, "1004"),
    ("start_sensor_data_stream", (), 3, "1006"),
    ("stop_sensor_data_stream", (), 3, "1007"),
    ("set_flex_config", (m.SamplingRate.SAMPLING_RATE_100,), 3, "ca01020804"),
    ("set_flex_config", (m.SamplingRate.SAMPLING_RATE_NONE,), 3, "ca0100"),
    ("set_emg_config", (m.AfeSampleRate.AFE_SR_500, 255), 3, "a20105080410ff01"),
    ("set_emg_config", (m.AfeSampleRate.AFE_SR_500, 4294967295), 3, "a20108080410ffffffff0f"),
    ("set_imu_config", IMU, 3, "5206080310042001"),
    ("set_mag_config", (m.MagSampleRate.MAG_SR_50, m.UploadDataType.CALIBRATED_DATA), 3, "5a0408041002"),
    ("set_imu_calibration_config", IMU + (None, None), 3, "5206080310042001"),
    ("set_imu_calibration_config", IMU + ([1, 2, 3], None), 3, "5219080310042001" "2a11120f" + XYZ123),
    ("set_imu_calibration_config", IMU + (None, (0, 0, 0)), 3, "520a080310042001" "2a021a00"),
    ("set_mag_calibration_config", MAG + (None, None), 3, "5a0408041001"),
    ("set_mag_calibration_config", MAG + (None, [(1, 0, 0), (0, 1, 0), (0, 0, 1)]), 3,
     "5a1b080410011a15" "22050d0000803f" "2205150000803f" "22051d0000803f"),
    ("set_mag_calibration_config", MAG + ((1, 2, 3), None), 3, "5a17080410011a111a0f" + XYZ123),
    ("set_mag_calibration_config", MAG + ((1, 2, 3), []), 3, "5a17080410011a111a0f" + XYZ123),
    ("get_dongle_info", (), 2, "1002"),
    ("get_dongle_pair_cfg", (), 2, "1004"),
    ("get_dongle_pair_stat", (), 2, "1005"),
]


@pytest.mark.parametrize("via_mcu", [False, True])
def test_every_command_writes_its_payload_with_consecutive_ids(caplog, tmp_path, via_mcu):
    (tmp_path / "fw.bin").write_bytes(bytes(100))

    async def main():
        with PtyDevice() as box:
            if via_mcu:  # an update waiting for the answer to its START holds the control-box route
                update = asyncio.ensure_future(m.perform_serial_dfu_py(
                    box.path, str(tmp_path / "fw.bin"), None, 256, via_mcu=True, start_timeout_ms=30000))
                await asyncio.to_thread(box.wait_frames, 1)
            async with opened() as (pty, device):
                for name, args, _, _ in COMMANDS:
                    await getattr(device, name)(*args)
                    with pytest.raises(TypeError):  # takes no msg_id
                        device.set_flex_config(3)
                frames = pty.wait_frames(len(COMMANDS))
            if via_mcu:
                update.cancel()
                await asyncio.gather(update, return_exceptions=True)
            return frames

    frames = run(main())
    first = decode_host(frames[0], via_mcu).msg_id
    for index, (received, (name, _, destination, rest)) in enumerate(zip(frames, COMMANDS)):
        assert (received.crc_ok, received.source, received.destination) == (True, 1, destination), name
        assert received.payload == payload(first + index, rest), name
    assert [r.getMessage() for r in caplog.records if r.name.endswith("py_device")] == [
        "get_port_stat", f"get_port_stat: {list(frames[1].raw)}"]
    built = [r.getMessage().split(",")[0] for r in caplog.records if r.name.endswith("ovik_msg_builder")]
    device_route = "encode_app_to_mcu" if via_mcu else "encode_app_to_sensor"
    assert built == ["encode_app_to_mcu"] * via_mcu + [  # the update's START first
        device_route if destination == 3 else "encode_app_to_dongle" for _, _, destination, _ in COMMANDS]


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


OUT_OF_RANGE = "out of range integral type conversion attempted"
ARGUMENT_ERRORS = [
    (lambda d: d.set_flex_config(3), TypeError, "argument 'fs': 'int' object is not an instance of 'SamplingRate'"),
    (lambda d: d.set_emg_config(m.AfeSampleRate.AFE_SR_500, -1), OverflowError, OUT_OF_RANGE),
    (lambda d: d.set_imu_calibration_config(*IMU, [1, 2], None), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda d: d.set_mag_calibration_config(*MAG, None, "abc"), TypeError, "argument 'soft_iron': Can't extract `str` to `Vec`"),
    (lambda d: d.update_sensor_config(None), TypeError, "argument 'profile': 'None' is not an instance of 'SensorProfile'"),
    (lambda d: m.SerialStream("p", 1).write_data([256]), OverflowError, OUT_OF_RANGE),
    (lambda d: m.OvikDevice("p", 4294967296), OverflowError, OUT_OF_RANGE),
]


@pytest.mark.parametrize("index", range(len(ARGUMENT_ERRORS)))
def test_argument_errors(index):
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
