# MessageStream reads that are cancelled, timed out or concurrent.

import asyncio
import contextlib
import gc
import json
import threading
import time
import weakref

import pytest

from fakes.pty_link import frame
from test_parser_classes import new_parser, sensor_app


async def msg_id(read):
    return json.loads(await read)["Ovik"]["Sensor2App"]["msgId"]


def test_reads_with_deadlines_lose_nothing_and_abort_nothing_else():
    async def main():
        parser, stream = new_parser()
        received = []
        for i in range(20000):
            if i % 2 == 0:
                parser.receive_data("dev", sensor_app(i // 2 + 1))
            with contextlib.suppress(asyncio.TimeoutError):
                received.append(await msg_id(asyncio.wait_for(stream.__anext__(), [0, 1e-6, 1e-5, 1e-4, 1e-3][i % 5])))
        received += [await msg_id(stream.__anext__()) for _ in range(10000 - len(received))]
        assert received == list(range(1, 10001))

    asyncio.run(main())


def test_concurrent_reads_are_served_in_call_order():
    async def main():
        parser, stream = new_parser()
        for first in range(1, 80, 4):
            reads = [asyncio.ensure_future(stream.__anext__()) for _ in range(4)]
            await asyncio.sleep(0.002)
            parser.receive_data("dev", b"".join(sensor_app(first + k) for k in range(4)))
            assert [await msg_id(read) for read in reads] == [first, first + 1, first + 2, first + 3]

    asyncio.run(main())


class Reads:
    """Makes reads and counts the futures of those still alive anywhere."""

    def __init__(self):
        self.futures = weakref.WeakSet()

    def __call__(self, stream):
        read = stream.__anext__()
        self.futures.add(read)
        return read

    def alive(self):
        gc.collect()
        return len(self.futures)


async def timed_out_reads(reads, streams, count):
    got = []
    for _ in range(count):
        with contextlib.suppress(asyncio.TimeoutError):
            got.append(await msg_id(asyncio.wait_for(reads(next(streams)), 0)))
    return got


def one_stream(stream):
    while True:
        yield stream


def a_new_stream_each_time():
    while True:
        parser, stream = new_parser()
        yield stream  # its parser goes when the next one comes


class Feeder(threading.Thread):
    """Feeds frames numbered from 1, ten at a time, until stopped."""

    def __init__(self, parser):
        super().__init__()
        self.parser, self.fed, self.stopped = parser, 0, threading.Event()

    def run(self):
        while not self.stopped.is_set():
            self.parser.receive_data("dev", b"".join(sensor_app(self.fed + k) for k in range(1, 11)))
            self.fed += 10
            time.sleep(0.0001)


# From 4 tasks, reads that time out at once: no data, data fed from another
# thread meanwhile, and a new stream for every read (its parser dropped).
STORMS = [("no data", False, one_stream), ("data flowing", True, one_stream),
          ("a stream per read", False, lambda _: a_new_stream_each_time())]


@pytest.mark.parametrize("name, flowing, streams", STORMS, ids=[storm[0] for storm in STORMS])
def test_reads_cancelled_before_they_ran_hold_nothing(name, flowing, streams):
    async def main():
        parser, stream = new_parser()
        reads, feeder = Reads(), Feeder(parser)
        if flowing:
            feeder.start()
        batches = await asyncio.gather(*[timed_out_reads(reads, streams(stream), 5000) for _ in range(4)])
        feeder.stopped.set()
        if flowing:
            feeder.join()
        await asyncio.sleep(0)  # outcomes handed over before the cancellations land
        assert reads.alive() == 0
        got = sorted(sum(batches, []))
        got += [await msg_id(stream.__anext__()) for _ in range(feeder.fed - len(got))]
        assert got == list(range(1, feeder.fed + 1))
        # No read is left in line ahead of a new one.
        parser.receive_data("dev", sensor_app(feeder.fed + 1))
        read = stream.__anext__()
        assert read.done() and await msg_id(read) == feeder.fed + 1

    asyncio.run(main())


async def outcome(read):
    try:
        return await read
    except RuntimeError as failed:
        return str(failed)


def feed_lag(parser):
    frames = [sensor_app(i) for i in range(16_400)]
    for start in range(0, len(frames), 4000):
        parser.receive_data("dev", b"".join(frames[start:start + 4000]))
    return parser


def fed(data):
    def feed(parser):
        parser.receive_data("dev", data)
        return parser

    return feed


# What a read completes with; `feed` returns the parser to keep (None drops
# the last sender: the end).
OUTCOMES = [
    ("an item", fed(sensor_app(7)), b'{"Ovik":{"Sensor2App":{"msgId":7}}}'),
    ("an unrenderable item", fed(frame(b"\x08\x01\x18\x63")), "failed to render message as JSON: Invalid variant 99"),
    ("the end", lambda parser: None, "Stream ended unexpectedly"),
    ("a lag", feed_lag, "Lagged(16)"),
]


@pytest.mark.parametrize("name, feed, expected", OUTCOMES, ids=[row[0] for row in OUTCOMES])
def test_a_read_with_something_there_is_complete_at_once(name, feed, expected):
    async def main():
        parser, stream = new_parser()
        parser = feed(parser)
        read = stream.__anext__()
        assert read.done()
        assert await outcome(read) == expected

    asyncio.run(main())


@pytest.mark.parametrize("name, feed, expected", OUTCOMES[:3], ids=[row[0] for row in OUTCOMES[:3]])
def test_a_waiting_read_completes_with_what_arrives(name, feed, expected):
    async def main():
        parser, stream = new_parser()
        read = stream.__anext__()
        await asyncio.sleep(0.01)
        assert not read.done()
        parser = feed(parser)
        assert await outcome(asyncio.wait_for(read, 5)) == expected

    asyncio.run(main())


# A loop closes with a read of it pending: while the read still waits, or
# once its first item was handed over but not yet delivered by the loop.
CLOSED_WHILE = [("waiting", b""), ("handing over", sensor_app(1))]


@pytest.mark.parametrize("name, fed_before_close", CLOSED_WHILE, ids=[row[0] for row in CLOSED_WHILE])
def test_a_read_left_pending_by_a_closed_loop_hands_its_item_on(name, fed_before_close):
    parser, stream = new_parser()
    loop = asyncio.new_event_loop()

    async def start():
        return stream.__anext__()

    orphan = loop.run_until_complete(start())
    if fed_before_close:
        parser.receive_data("dev", fed_before_close)
    time.sleep(0.05)  # the item is handed to the stopped loop
    loop.close()

    async def main():
        parser.receive_data("dev", (sensor_app(1) + sensor_app(2))[len(fed_before_close):])
        return [await msg_id(asyncio.wait_for(stream.__anext__(), 5)) for _ in range(2)]

    assert asyncio.run(main()) == [1, 2]
    assert not orphan.done()
