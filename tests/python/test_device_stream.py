"""Stream start, reconfiguration and stop of OvikDevice against the fake device."""
import asyncio
import logging
import time

import pytest

import ovik_sdk.main_mod as m
from fakes.kit import SENSOR_FRAMES, Kit, decode_host
from fakes.pty_link import PtyDevice
from test_device_link import M, opened, run

FULL = dict(flex_rate=m.SamplingRate.SAMPLING_RATE_100, imu_rate=m.ImuSampleRate.IMU_SR_100,
            emg_rate=m.AfeSampleRate.AFE_SR_500, mag_rate=m.MagSampleRate.MAG_SR_50)
PAUSE_100, PAUSE_150, PAUSE_250, PAUSE_300 = 0.095, 0.145, 0.245, 0.295
START, STOP = "msg_cmd: START_DATA_STREAM", "msg_cmd: STOP_DATA_STREAM"
CONFIGS = [
    "flex_config { sample_rate: SAMPLING_RATE_100 }",
    "imu_config { imu_mode: ACC_GYRO imu_sr: IMU_SR_100 data_type: RAW_DATA }",
    "afe_config { sample_rate: AFE_SR_500 channel_bits: 16 }",
    "mag_config { mag_sr: MAG_SR_50 data_type: RAW_DATA }",
]


def described(frames):
    """Each request without its msg_id, in one line, and the gaps between them."""
    texts = []
    for received in frames:
        request = decode_host(received)
        request.ClearField("msg_id")
        texts.append(" ".join(str(request).split()))
    return texts, [b.time - a.time for a, b in zip(frames, frames[1:])]


def run_paced(main, expected, least, attempts=3):
    """Runs `main()` until the pauses between its frames, as the device read
    them, are all long enough: on a loaded machine a stalled reading thread
    shortens one gap now and then, a missing pause shortens it every time."""
    for _ in range(attempts):
        texts, gaps = described(run(main()))
        assert texts == expected
        if all(gap >= bound for gap, bound in zip(gaps, least)):
            return
    pytest.fail(f"pauses {gaps}, expected at least {least}")


@pytest.mark.parametrize("profile, expected, least_gaps", [
    (m.SensorProfile(**FULL), CONFIGS + [START], [PAUSE_100] * 4),
    (None, [START], []),
    (m.SensorProfile(), [START], []),
    (m.SensorProfile(emg_rate=m.AfeSampleRate.AFE_SR_OFF, emg_channel_bits=0, imu_data_type=m.UploadDataType.RAW_DATA,
                     mag_data_type=m.UploadDataType.CALIBRATED_DATA),
     ["afe_config { sample_rate: AFE_SR_OFF }", START], [PAUSE_100]),
])
def test_start_stream_writes_the_configurations_then_start(profile, expected, least_gaps):
    async def main():
        with PtyDevice() as pty:
            device = m.OvikDevice(pty.path, 115200)
            await device.start_stream(m.MessageParser("dev", M), profile)
            await device.close_serial_stream()
            return pty.wait_frames(len(expected) + 1, timeout=0.3)

    run_paced(main, expected, least_gaps)


def test_update_pauses_applies_and_resumes():
    async def main():
        async with opened() as (pty, device):
            profile = m.SensorProfile(**FULL)
            pending = device.update_sensor_config(profile)
            profile.flex_rate = None  # the call has taken its copy
            await pending
            await device.update_sensor_config(m.SensorProfile())
            return pty.wait_frames(9)

    run_paced(main, [STOP] + CONFIGS + [START, STOP, START],
              [PAUSE_150, PAUSE_100, PAUSE_100, PAUSE_100, PAUSE_250, 0, PAUSE_300])


def test_a_port_lost_mid_start_fails_with_the_step_and_drops_the_writer():
    async def main():
        with PtyDevice() as pty:
            pty.reply = lambda received: pty.unplug()
            device = m.OvikDevice(pty.path, 115200)
            with pytest.raises(RuntimeError, match="^Failed to write IMU configuration: Input/output error$"):
                await device.start_stream(m.MessageParser("dev", M), m.SensorProfile(**FULL))
            with pytest.raises(RuntimeError, match="^Device writer is missing. Is the device connected[?]$"):
                await device.update_sensor_config(m.SensorProfile())
            await device.stop_stream()

    run(main())


def test_commands_never_interleave_with_an_update():
    async def main():
        async with opened() as (pty, device):
            calls = [device.get_device_info() for _ in range(10)]
            calls.append(device.update_sensor_config(m.SensorProfile(**FULL)))
            calls += [device.get_sensor_cfg() for _ in range(10)]
            await asyncio.gather(*calls)
            return pty.wait_frames(27), pty.splitter.junk

    frames, junk = run(main())
    assert all(f.crc_ok for f in frames) and junk == 0
    texts, _ = described(frames)
    begin = texts.index(STOP)
    assert texts[begin:begin + 6] == [STOP] + CONFIGS + [START]
    assert sorted(texts[:begin] + texts[begin + 6:]) == ["msg_cmd: GET_DEVICE_INFO"] * 10 + ["msg_cmd: GET_SENSOR_CONFIG"] * 10


def test_stop_stream_writes_one_stop_and_waits_for_the_listener(caplog):
    async def main():
        with PtyDevice() as pty:
            device = m.OvikDevice(pty.path, 115200)
            await device.start_stream(m.MessageParser("dev", M), None)
            await device.stop_stream()
            logging.getLogger("ovik_sdk.python.py_device").info("stopped")
            await device.stop_stream()
            await device.open_serial_stream(m.MessageParser("dev", M))  # the port was released
            await device.close_serial_stream()
            return pty.wait_frames(3, timeout=0.3)

    texts, _ = described(run(main()))
    assert texts == [START, STOP]
    lines = [r.getMessage() for r in caplog.records]
    assert lines.index("listen_serial_stream exited") < lines.index("stopped")


def test_an_unplugged_device_ends_the_listener_and_stop_still_completes(caplog):
    async def main():
        pty = PtyDevice()
        device = m.OvikDevice(pty.path, 115200)
        await device.start_stream(m.MessageParser("dev", M), None)
        pty.unplug()
        await asyncio.sleep(0.1)
        cpu = time.process_time()
        await asyncio.sleep(0.5)
        assert time.process_time() - cpu < 0.2  # no thread spins on the dead port
        await device.stop_stream()
        pty.close()
        async with opened():  # a new port opens as usual
            pass

    run(main())
    lines = [r.getMessage() for r in caplog.records]
    assert ("ovik_sdk.python.py_device", 'Failed to send stop stream command: Os { code: 5, kind: Other, message: '
            '"Input/output error" }') in [(r.name, r.getMessage()) for r in caplog.records]
    ended = [line for line in lines if line.startswith(("serial_read EOF", "failed to read from serial", "收到 cancel"))]
    assert ended[0] in ("serial_read EOF，end of stream", "failed to read from serial: Input/output error")


KINDS = ["emg", "imu", "mag", "flex"]


def test_streamed_frames_reach_buffers_and_callbacks_once_in_order():
    seen = {kind: [] for kind in KINDS}
    for kind in KINDS:
        getattr(m, f"set_{kind}_buffer_cfg")(100000)
        getattr(m, f"clear_{kind}_buffer")()
        getattr(m, f"set_{kind}_data_callback")(lambda rows, kind=kind: seen[kind].extend(int(r[0]) for r in rows))

    async def main():
        with PtyDevice() as pty:
            kit = Kit(pty, {"emg": 500, "imu": 400, "mag": 100, "flex": 200})
            device = m.OvikDevice(pty.path, 115200)
            await device.start_stream(m.MessageParser("dev", M), None)
            await asyncio.sleep(10)
            await device.stop_sensor_data_stream()
            await asyncio.sleep(0.5)  # what was sent reaches the buffers and callbacks
            delivered = {kind: list(seen[kind]) for kind in KINDS}
            await device.stop_stream()
            await device.open_serial_stream(m.MessageParser("dev", M))
            pty.send(SENSOR_FRAMES["emg"](1))  # callbacks are gone, buffers stay
            await asyncio.sleep(0.2)
            await device.close_serial_stream()
            return kit.sent, delivered

    sent, delivered = run(main(), timeout=60)
    assert all(len(sent[kind]) >= 9 * rate for kind, rate in zip(KINDS, [500, 400, 100, 200]))
    assert delivered == sent and seen == sent
    buffered = {kind: [int(r[0]) for r in getattr(m, f"get_{kind}_buffer")(100000, True)] for kind in KINDS}
    assert buffered == {kind: sent[kind] + [1] * (kind == "emg") for kind in KINDS}
    for kind in KINDS:
        getattr(m, f"set_{kind}_buffer_cfg")(1000)
