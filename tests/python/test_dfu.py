import asyncio
import fcntl
import hashlib
import os
import time

import pytest
from fakes.kit import message
from fakes.ota_device import ABORT, CHATTER, DOWNLOADING, OTA_REBOOT, OTA_START, SILENT, UNPLUG, OtaDevice
from fakes.pty_link import PtyDevice, frame
from ovik_sdk import main_mod as m

S = m.DfuState
MESSAGES = {S.LoadingFile: "Loading firmware file", S.CalculatingChecksums: "Calculated checksums", S.Starting: "Starting OTA",
            S.Uploading: "Uploading firmware", S.Rebooting: "Rebooting device", S.Completed: "Firmware upgrade completed"}


def port_free(path):
    with open(os.open(path, os.O_RDWR | os.O_NOCTTY), "rb", buffering=0) as port:
        try:
            return fcntl.flock(port, fcntl.LOCK_EX | fcntl.LOCK_NB) is None
        except BlockingIOError:
            return False


class RouteProbe:
    """Notes, at each `feed`, whether device frames decode as the control box's."""

    def __init__(self):
        self.parser, self.fed = m.MessageParser("probe", m.MsgType.Ovik), 0
        self.stream = self.parser.message_stream()

    def feed(self):
        self.fed += 1
        self.parser.receive_data("probe", frame(message("SensorApp", msg_id=1).SerializeToString()))

    async def routes(self):
        # the routes noted, and the route now
        self.feed()
        return [b"CtrlBoxToApp" in await self.stream.__anext__() for _ in range(self.fed)]


def firmware(tmp_path, size):
    (tmp_path / "fw.bin").write_bytes(data := os.urandom(size))
    return str(tmp_path / "fw.bin"), data


def update(path, fw, on_progress=None, chunk=256, **options):
    options = {"response_timeout_ms": 300, "start_timeout_ms": 300, "reboot_delay_secs": 0, **options}
    return m.perform_serial_dfu_py(path, fw, on_progress, chunk, **options)


def outcome(path, fw, on_progress=None, **options):
    records = []

    async def run():
        try:
            await update(path, fw, on_progress or records.append, **options)
        except RuntimeError as error:
            return str(error)

    return asyncio.run(run()), records


@pytest.mark.parametrize("size, chunk, via_mcu, script, start_timeout, uploads", [
    (2600, 256, False, {}, 300, [(2560, 10), (2600, 11)]),
    (2600, 256, True, {1: (DOWNLOADING, 0), 2: (DOWNLOADING, 512), 3: (DOWNLOADING, 256)}, 2**64 - 1, [(2048, 10), (2600, 13)]),
    (2048, 256, True, {}, 300, [(2048, 8)]),
    (70000, 65509, False, {}, 300, [(70000, 2)]),
    (1000, 100000, False, {}, 300, [(1000, 1)]),
    (70000, 100000, False, {}, 300, [(70000, 2)]),  # cut to what one frame carries
])
def test_update_delivers_the_image_and_reports_each_step(tmp_path, size, chunk, via_mcu, script, start_timeout, uploads):
    fw, data = firmware(tmp_path, size)
    probe, records = RouteProbe(), []

    def on_progress(progress):
        records.append(progress)
        if progress.state is S.CalculatingChecksums:
            open(fw, "w").close()  # the image was read before; this must change nothing
        if progress.state is S.Starting:
            probe.feed()

    async def run():
        with PtyDevice() as device:
            ota = OtaDevice(device, via_mcu, script)
            await update(device.path, fw, on_progress, chunk, via_mcu=via_mcu, start_timeout_ms=start_timeout)
            assert port_free(device.path)
            device.wait_frames(len(ota.chunks) + 2)  # the reboot message, read by now
            return ota, await probe.routes()

    ota, routes = asyncio.run(run())
    assert routes == [via_mcu, False]
    assert bytes(ota.image) == data
    assert [i - ota.requests[0][0] for i, _ in ota.requests] == list(range(len(ota.requests)))
    assert [cfg.cmd for _, cfg in ota.requests] == [OTA_START] + [0] * len(ota.chunks) + [OTA_REBOOT]
    start = ota.requests[0][1]
    assert (start.file_size, start.file_md5, start.file_sha256) == (size, hashlib.md5(data).hexdigest(), hashlib.sha256(data).hexdigest())
    sent = min(chunk, 65509)
    assert [(c.data, c.finished) for c in ota.chunks] == [(data[c.offset:c.offset + sent], c.offset + sent >= size) for c in ota.chunks]

    expected = [(S.LoadingFile, 0, 0), (S.CalculatingChecksums, 0, 0), (S.Starting, 0, 0),
                *((S.Uploading, *u) for u in uploads), *((s, size, uploads[-1][1]) for s in (S.Rebooting, S.Completed))]
    assert [(r.state, r.uploaded_bytes, r.chunks_sent) for r in records] == expected
    assert all(r.state is e[0] and r.message == MESSAGES[e[0]] for r, e in zip(records, expected))
    first = records[0]
    assert (first.total_bytes, first.total_chunks, first.md5, first.sha256, first.percentage, first.speed_kbps, first.eta_secs) == (0, 0, "", "", 0.0, 0.0, None)
    assert {(r.total_bytes, r.total_chunks, r.md5) for r in records[1:]} == {(size, -(-size // sent), start.file_md5)}
    assert repr(records[-1]) == f"DfuProgress(state=Completed, percentage=100.0, uploaded_bytes={size}, total_bytes={size})"


def first_chunks(count):
    return [(offset, 256, False) for offset in range(0, 256 * count, 256)]


@pytest.mark.parametrize("script, response_timeout, error, chunks", [
    ({0: SILENT}, 300, "timeout waiting for OTA response", []),
    ({3: CHATTER}, 300, "timeout waiting for OTA response", first_chunks(3)),
    ({3: UNPLUG}, 10000, "timeout waiting for OTA response", first_chunks(3)),
    ({4: (ABORT, 1024)}, 300, "device is not ready: device aborted OTA at offset 1024", first_chunks(4)),
    ({0: (ABORT, 0)}, 300, "device is not ready: unexpected OTA state: Abort", []),
    ({2: (9, 512)}, 300, "device is not ready: invalid OTA state during upload: 9", first_chunks(2)),
    ({0: (-1, 0)}, 300, "device is not ready: invalid OTA state: -1", []),
    ({0: (DOWNLOADING, 9999)}, 300, None, [(2600, 0, True)]),
])
def test_device_answers_end_the_update(tmp_path, script, response_timeout, error, chunks):
    fw, _ = firmware(tmp_path, 2600)
    with PtyDevice() as device:
        ota = OtaDevice(device, script=script)
        began = time.monotonic()
        assert outcome(device.path, fw, response_timeout_ms=response_timeout)[0] == error
        assert time.monotonic() - began < 2
        assert UNPLUG in script.values() or port_free(device.path)  # an unplugged pty has no path
        device.wait_frames(2 + len(chunks) + (error is None), timeout=0.3)  # one more than due
    # nothing written after a failure
    assert ([(c.offset, len(c.data), c.finished) for c in ota.chunks], len(ota.requests)) == (chunks, 1 + len(chunks) + (error is None))


def never_past(offset, back=None):
    """From the 4th answer on, the device asks for `offset` again and again, or for `offset` and `back` in turn."""
    return lambda answer: None if answer < 3 else (DOWNLOADING, back if back is not None and answer % 2 == 0 else offset)


@pytest.mark.parametrize("script, delay, timeout, error, offsets", [
    (never_past(512), 0, 300, "device is not ready: device made no progress past offset 512 for 300 ms", [0, 256, 512]),
    (never_past(768, 512), 0, 300, "device is not ready: device made no progress past offset 768 for 300 ms", [0, 256, 512, 768]),
    # Each offset held for 0.3 s, in an update that outlasts the timeout.
    ({2: (DOWNLOADING, 256), 3: (DOWNLOADING, 256), 7: (DOWNLOADING, 1024), 8: (DOWNLOADING, 1024)}, 0.1, 1000, None,
     list(range(0, 2600, 256))),
])
def test_a_device_that_stops_advancing_ends_the_update(tmp_path, script, delay, timeout, error, offsets):
    fw, data = firmware(tmp_path, 2600)
    with PtyDevice() as device:
        ota = OtaDevice(device, script=script, delay=delay)
        began = time.monotonic()
        assert outcome(device.path, fw, response_timeout_ms=timeout)[0] == error
        assert timeout / 1000 < time.monotonic() - began < timeout / 1000 + 2
    assert sorted({c.offset for c in ota.chunks}) == offsets
    assert error or bytes(ota.image) == data


@pytest.mark.parametrize("case, error, states", [
    ("missing", "IO error: No such file or directory (os error 2)", [S.LoadingFile]),
    ("empty", "firmware image is empty", [S.LoadingFile]),
    ("no port", "transport error: failed to open serial port: No such file or directory", [S.LoadingFile, S.CalculatingChecksums]),
    ("locked", "transport error: failed to open serial port: Unable to acquire exclusive lock on serial port", [S.LoadingFile, S.CalculatingChecksums]),
])
def test_local_failures(tmp_path, case, error, states):
    fw, _ = firmware(tmp_path, 0 if case == "empty" else 100)
    with PtyDevice() as device, open(os.open(device.path, os.O_RDWR | os.O_NOCTTY), "rb", buffering=0) as lock:
        fcntl.flock(lock, fcntl.LOCK_EX if case == "locked" else fcntl.LOCK_UN)
        path = "/dev/no-such-port" if case == "no port" else device.path
        text, records = outcome(path, fw + "x" * (case == "missing"), via_mcu=True, chunk=256)
    assert (text, [r.state for r in records]) == (error, states)
    assert asyncio.run(RouteProbe().routes()) == [False]


# Runs an update in a fresh interpreter whose address space cannot hold the image: what is refused
# before reading must be refused there too, with the text and the one record it gets with room to spare.
UPDATE_UNDER_2_GIB = """
import asyncio, resource
resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
from ovik_sdk import main_mod as m
records = []
async def run():
    try:
        await m.perform_serial_dfu_py({port!r}, {fw!r}, lambda progress: records.append(progress.message), start_timeout_ms=300)
    except RuntimeError as error:
        return str(error)
print(repr((asyncio.run(run()), records)))
"""


@pytest.mark.parametrize("image, error", [
    ("nul", "IO error: Invalid argument (os error 22)"),
    ("sparse", "invalid DFU config: firmware image exceeds 4294967295 bytes"),
    ("/dev/zero", "IO error: not a regular file (character device)"),
    ("fifo", "IO error: not a regular file (FIFO)"),
    ("pty", "IO error: not a regular file (character device)"),  # the two paths swapped
])
def test_an_image_path_that_cannot_be_read_whole_is_refused_before_reading(tmp_path, run_python, image, error):
    port, _ = firmware(tmp_path, 100)  # never reached: a file, as when the paths are swapped
    with PtyDevice() as device:
        if image == "sparse":
            with open(tmp_path / "sparse", "wb") as sparse:
                sparse.truncate(2**32)
        elif image == "fifo":
            os.mkfifo(tmp_path / "fifo")
        fw = {"nul": port + "\0x", "/dev/zero": "/dev/zero", "pty": device.path}.get(image, str(tmp_path / image))
        done = run_python(UPDATE_UNDER_2_GIB.format(port=port, fw=fw), timeout=10)
    assert (done.stderr, done.stdout) == ("", repr((error, ["Loading firmware file"])) + "\n")


@pytest.mark.parametrize("on_progress, printed", [
    (lambda progress: 1 / 0, "ZeroDivisionError: division by zero"),
    (5, "TypeError: 'int' object is not callable"),
    (lambda progress: exec("import sys; sys.exit(3)"), "SystemExit: 3"),
])
def test_a_failing_progress_callable_is_printed_and_the_update_goes_on(tmp_path, capfd, on_progress, printed):
    fw, _ = firmware(tmp_path, 600)
    with PtyDevice() as device:
        OtaDevice(device)
        assert outcome(device.path, fw, on_progress) == (None, [])
    assert capfd.readouterr().err.splitlines().count(printed) == 6  # one per record


def test_overlapping_updates_restore_the_route_from_before(tmp_path):
    fw, _ = firmware(tmp_path, 600)

    async def run():
        with PtyDevice() as one, PtyDevice() as two:
            OtaDevice(one, via_mcu=True), OtaDevice(two)
            # Both sleep a second after the reboot message, so their ends overlap.
            await asyncio.gather(update(one.path, fw, via_mcu=True, reboot_delay_secs=1), update(two.path, fw, reboot_delay_secs=1))
        return await RouteProbe().routes()

    assert asyncio.run(run()) == [False]


def test_cancelling_the_update_restores_the_route_and_releases_the_port(tmp_path):
    fw, _ = firmware(tmp_path, 2600)

    async def run():
        with PtyDevice() as device:
            OtaDevice(device, via_mcu=True, script={3: SILENT})
            task = asyncio.ensure_future(update(device.path, fw, via_mcu=True, response_timeout_ms=10000))
            await asyncio.to_thread(device.wait_frames, 4)  # START and three chunks; the third goes unanswered
            task.cancel()
            await asyncio.gather(task, return_exceptions=True)
            while not port_free(device.path):  # released shortly after
                await asyncio.sleep(0.02)
            # The flag is stored back right after the listener lets the port go,
            # on another thread: give it a moment, not forever.
            for _ in range(50):
                if (routes := await RouteProbe().routes()) == [False]:
                    break
                await asyncio.sleep(0.02)
            return routes

    assert asyncio.run(run()) == [False]


def test_a_zero_chunk_size_is_refused_at_the_call_without_a_loop():
    with pytest.raises(ValueError, match="^chunk_size must be greater than 0$"):
        m.perform_serial_dfu_py("/dev/no-such-port", "/no-such-file", chunk_size=0)
