"""Chunks per second of a firmware update: a 1 MiB image in 512-byte chunks
to the fake device of tests/python/fakes, which answers each chunk at once.

The exchange is strictly one chunk, one answer, so each round trip is the
host's share (chunk framing and write, reading and decoding the answer, the
hand-offs between its tasks) plus the link's and the fake device's (its
frame decoding with the protobuf runtime, the answer's encoding and write;
timed on its reading thread). The floor beside it: the same fake device
answering the same frames written and read by plain blocking calls.

    PYTHONPATH=<build root with ovik_sdk> python3 bench/dfu_chunk_rate.py
"""
import asyncio
import os
import pathlib
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
from fakes.ota_device import OtaDevice  # noqa: E402
from fakes.pty_link import PtyDevice  # noqa: E402
from ovik_sdk import main_mod  # noqa: E402

IMAGE_SIZE, CHUNK_SIZE, RUNS = 1 << 20, 512, 3


class TimedOtaDevice(OtaDevice):
    """Adds up the time spent answering."""

    def __init__(self, device):
        super().__init__(device)
        self.busy = 0.0

    def _on_frame(self, received):
        began = time.perf_counter()
        answer = super()._on_frame(received)
        self.busy += time.perf_counter() - began
        return answer


async def update(port, firmware):
    await main_mod.perform_serial_dfu_py(port, firmware, None, CHUNK_SIZE, 5000, 5000, 0)


def one_run(firmware):
    with PtyDevice() as device:
        fake = TimedOtaDevice(device)
        began = time.perf_counter()
        asyncio.run(update(device.path, firmware))
        return time.perf_counter() - began, fake.busy, len(fake.chunks)


def floor_run(firmware):
    """Round trips of the recorded chunk frames without the SDK."""
    with PtyDevice() as device:
        fake = TimedOtaDevice(device)
        asyncio.run(update(device.path, firmware))
        frames = [f.raw for f in device.wait_frames(len(fake.chunks) + 2)]
    with PtyDevice() as device:
        fake = TimedOtaDevice(device)
        port = os.open(device.path, os.O_RDWR | os.O_NOCTTY)
        began = time.perf_counter()
        for raw in frames[:-1]:
            os.write(port, raw)
            os.read(port, 4096)
        wall = time.perf_counter() - began
        os.close(port)
        return wall, fake.busy, len(fake.chunks)


def report(name, wall, fake, chunks):
    print(f"{name}: {chunks} chunks in {wall:.3f} s, {chunks / wall:,.0f} chunks/s, {wall / chunks * 1e6:.0f} us per chunk "
          f"of which the fake device {fake / chunks * 1e6:.0f} us")


def main():
    with tempfile.TemporaryDirectory() as directory:
        firmware = os.path.join(directory, "image.bin")
        pathlib.Path(firmware).write_bytes(os.urandom(IMAGE_SIZE))
        for _ in range(RUNS):
            report("update", *one_run(firmware))
            report("floor ", *floor_run(firmware))


if __name__ == "__main__":
    main()
