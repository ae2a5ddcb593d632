"""A device on the master side of a pseudo-terminal; the code under test opens
`PtyDevice.path` (the slave) as its serial port. Host frames are split, their
CRC-16/MODBUS checked with a routine of our own, and recorded with the
monotonic time they were read; `reply(frame)` may answer with bytes."""
import os
import select
import threading
import time
import tty
from dataclasses import dataclass

MAGIC = b"QOVA"
APP, DONGLE, DEVICE = 1, 2, 3


def crc16_modbus(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(payload, source=DEVICE, destination=APP):
    """Header version 2, project 12, length, modules, payload version 0, payload, CRC."""
    body = MAGIC + bytes([2, 12]) + len(payload).to_bytes(2, "little") + bytes([source, destination, 0]) + payload
    return body + crc16_modbus(body).to_bytes(2, "little")


@dataclass(frozen=True)
class Frame:
    time: float
    raw: bytes
    source = property(lambda self: self.raw[8])
    destination = property(lambda self: self.raw[9])
    payload = property(lambda self: self.raw[11:-2])
    crc_ok = property(lambda self: crc16_modbus(self.raw[:-2]) == int.from_bytes(self.raw[-2:], "little"))


class FrameSplitter:
    """Cuts a byte stream into frames; bytes before a magic count as junk."""

    def __init__(self):
        self.pending, self.junk = b"", 0

    def feed(self, data):
        self.pending += data
        frames = []
        while True:
            start = self.pending.find(MAGIC)
            if start < 0:  # keep what may be the start of a magic
                start = len(self.pending) - next((n for n in (3, 2, 1) if self.pending.endswith(MAGIC[:n])), 0)
            self.junk += start
            self.pending = self.pending[start:]
            total = 13 + int.from_bytes(self.pending[6:8], "little") if len(self.pending) >= 8 else None
            if total is None or len(self.pending) < total:
                return frames
            frames.append(self.pending[:total])
            self.pending = self.pending[total:]


class PtyDevice:
    def __init__(self, reply=None):
        self.master, self._slave = os.openpty()
        self.path = os.ttyname(self._slave)
        # Raw from the start; the slave stays open here so that the master
        # reports no hang-up while the host has the port closed.
        tty.setraw(self._slave)
        os.set_blocking(self.master, False)
        self.reply, self.frames, self.splitter = reply, [], FrameSplitter()
        self._changed, self._write_lock = threading.Condition(), threading.Lock()
        self._wake = os.pipe()
        self._open = True
        self._reader = threading.Thread(target=self._read_loop, daemon=True)
        self._reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send(self, data):
        """Writes all of `data`, waiting while the host does not read; False once unplugged."""
        view = memoryview(bytes(data))
        with self._write_lock:
            while view and self._open:
                select.select([], [self.master], [], 0.05)
                try:
                    view = view[os.write(self.master, view):]
                except BlockingIOError:
                    pass
                except OSError:
                    return False
            return self._open

    def wait_frames(self, count, timeout=5.0):
        """The first `count` frames, or fewer if they do not come within `timeout` s."""
        with self._changed:
            self._changed.wait_for(lambda: len(self.frames) >= count, timeout)
            return self.frames[:count]

    def unplug(self):
        """Closes the master: the host reads end of stream and its writes fail."""
        if self._open:
            self._open = False
            os.write(self._wake[1], b"x")
            if threading.current_thread() is not self._reader:
                self._reader.join(5)
            with self._write_lock:
                os.close(self.master)

    def close(self):
        self.unplug()
        if self._slave is not None:
            for fd in (self._slave, *self._wake):
                os.close(fd)
            self._slave = None

    def _read_loop(self):
        while self._open:
            select.select([self.master, self._wake[0]], [], [])
            try:
                data = os.read(self.master, 65536) if self._open else b""
            except BlockingIOError:
                continue
            except OSError:
                return
            now = time.monotonic()
            for received in [Frame(now, raw) for raw in self.splitter.feed(data)]:
                with self._changed:
                    self.frames.append(received)
                    self._changed.notify_all()
                answer = self.reply and self.reply(received)
                if answer:
                    self.send(answer)
