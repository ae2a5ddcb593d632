"""A device on the master side of a pseudo-terminal.

The code under test opens `PtyDevice.path` (the slave) as a real serial port.
The device splits what the host writes into frames, checks each frame's
CRC-16/MODBUS with its own routine, records every frame with the monotonic
time at which it was read, answers through a scripted reply function, and
can send any bytes, frames or not: junk, cut frames, or nothing at all.
"""
import os
import select
import threading
import time
import tty
from dataclasses import dataclass

MAGIC = b"QOVA"
HEADER_LENGTH = 11  # magic, version 2, project 12, length (2), source, destination, payload version
APP, DONGLE, DEVICE = 1, 2, 3


def crc16_modbus(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(payload, source=DEVICE, destination=APP, project=12):
    """One frame as the kit writes it, around a protocol-buffer payload."""
    head = MAGIC + bytes([2, project]) + len(payload).to_bytes(2, "little") + bytes([source, destination, 0])
    return head + payload + crc16_modbus(head + payload).to_bytes(2, "little")


@dataclass(frozen=True)
class Frame:
    """One frame the host wrote, as the device read it."""

    time: float  # time.monotonic() when its last byte was read
    raw: bytes

    @property
    def source(self):
        return self.raw[8]

    @property
    def destination(self):
        return self.raw[9]

    @property
    def payload(self):
        return self.raw[HEADER_LENGTH:-2]

    @property
    def crc_ok(self):
        return crc16_modbus(self.raw[:-2]) == int.from_bytes(self.raw[-2:], "little")


class FrameSplitter:
    """Cuts a byte stream into frames; bytes before a magic are counted as junk."""

    def __init__(self):
        self.pending = b""
        self.junk = 0

    def feed(self, data):
        self.pending += data
        frames = []
        while True:
            start = self.pending.find(MAGIC)
            if start < 0:
                keep = next((n for n in (3, 2, 1) if self.pending.endswith(MAGIC[:n])), 0)
                self.junk += len(self.pending) - keep
                self.pending = self.pending[len(self.pending) - keep :]
                return frames
            self.junk += start
            self.pending = self.pending[start:]
            if len(self.pending) < 8:
                return frames
            total = HEADER_LENGTH + int.from_bytes(self.pending[6:8], "little") + 2
            if len(self.pending) < total:
                return frames
            frames.append(self.pending[:total])
            self.pending = self.pending[total:]


class PtyDevice:
    """The device end of one pseudo-terminal.

    `reply`, when set, is called on the reading thread with each `Frame` and
    returns the bytes to answer with, or None for silence.
    """

    def __init__(self, reply=None):
        self.master, self._slave = os.openpty()
        self.path = os.ttyname(self._slave)
        # Raw from the start, and the slave stays open here, so the master
        # never reports a hang-up while the host has the port closed.
        tty.setraw(self._slave)
        os.set_blocking(self.master, False)
        self.reply = reply
        self.frames = []
        self.splitter = FrameSplitter()
        self._changed = threading.Condition()
        self._write_lock = threading.Lock()
        self._wake_read, self._wake_write = os.pipe()
        self._open = True
        self._reader = threading.Thread(target=self._read_loop, name="pty-device", daemon=True)
        self._reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send(self, data):
        """Writes `data` whole to the host, waiting while it is not read;
        False once the device is unplugged."""
        view = memoryview(bytes(data))
        with self._write_lock:
            while view and self._open:
                select.select([], [self.master], [], 0.05)
                try:
                    view = view[os.write(self.master, view) :]
                except BlockingIOError:
                    pass
                except OSError:
                    return False
            return self._open

    def wait_frames(self, count, timeout=5.0):
        """The first `count` frames (fewer if they are not all there within
        `timeout` seconds)."""
        with self._changed:
            self._changed.wait_for(lambda: len(self.frames) >= count, timeout)
            return list(self.frames[:count])

    def unplug(self):
        """Closes the master: the host reads end of stream and its writes fail."""
        if not self._open:
            return
        self._open = False
        os.write(self._wake_write, b"x")
        if threading.current_thread() is not self._reader:
            self._reader.join(timeout=5)
        with self._write_lock:
            os.close(self.master)

    def close(self):
        self.unplug()
        if self._slave is not None:
            for fd in (self._slave, self._wake_read, self._wake_write):
                os.close(fd)
            self._slave = None

    def _read_loop(self):
        while self._open:
            ready, _, _ = select.select([self.master, self._wake_read], [], [])
            if self.master not in ready or not self._open:
                continue
            try:
                data = os.read(self.master, 65536)
            except BlockingIOError:
                continue
            except OSError:
                return
            now = time.monotonic()
            for raw in self.splitter.feed(data):
                self._record(Frame(now, raw))

    def _record(self, received):
        with self._changed:
            self.frames.append(received)
            self._changed.notify_all()
        answer = self.reply(received) if self.reply else None
        if answer:
            self.send(answer)
