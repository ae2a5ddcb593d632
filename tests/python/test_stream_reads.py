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


def streams_of(name, stream):
    while True:
        if name == "a stream per read":
            parser, stream = new_parser()  # dropped when the next read comes
        yield stream


def feed_until(stopped, parser, fed):
    while not stopped.is_set():
        parser.receive_data("dev", b"".join(sensor_app(len(fed) + k) for k in range(1, 11)))
        fed += range(len(fed) + 1, len(fed) + 11)
        time.sleep(0.0001)


# Reads from 4 tasks that time out at once, before they could run.
@pytest.mark.parametrize("name", ["no data", "data flowing", "a stream per read"])
def test_reads_cancelled_before_they_ran_hold_nothing(name):
    async def main():
        parser, stream = new_parser()
        futures, fed, stopped = weakref.WeakSet(), [], threading.Event()
        feeder = threading.Thread(target=feed_until, args=(stopped, parser, fed))

        async def reads(streams):
            got = []
            for _ in range(5000):
                futures.add(read := next(streams).__anext__())
                with contextlib.suppress(asyncio.TimeoutError):
                    got.append(await msg_id(asyncio.wait_for(read, 0)))
            return got

        if name == "data flowing":
            feeder.start()
        got = sum(await asyncio.gather(*[reads(streams_of(name, stream)) for _ in range(4)]), [])
        stopped.set()
        if feeder.is_alive():
            feeder.join()
        await asyncio.sleep(0)  # outcomes handed over before the cancellations landed
        gc.collect()
        assert len(futures) == 0
        got = sorted(got) + [await msg_id(stream.__anext__()) for _ in range(len(fed) - len(got))]
        assert got == fed
        # No read is left in line ahead of a new one (the loop's turn begins a
        # new run of reads that complete at once).
        await asyncio.sleep(0)
        parser.receive_data("dev", sensor_app(len(fed) + 1))
        read = stream.__anext__()
        assert read.done() and await msg_id(read) == len(fed) + 1

    asyncio.run(main())


LAG = [b"".join(sensor_app(i) for i in range(start, start + 4100)) for start in range(0, 16_400, 4100)]


# What is there (None: every sender gone), and what a read completes with.
@pytest.mark.parametrize("chunks, expected", [
    ([sensor_app(7)], b'{"Ovik":{"Sensor2App":{"msgId":7}}}'),
    ([frame(b"\x08\x01\x18\x63")], "failed to render message as JSON: Invalid variant 99"),
    (None, "Stream ended unexpectedly"),
    (LAG, "Lagged(16)"),
], ids=["an item", "an unrenderable item", "the end", "a lag"])
def test_a_read_with_something_there_is_complete_at_once(chunks, expected):
    async def main():
        parser, stream = new_parser()
        for chunk in chunks or []:
            parser.receive_data("dev", chunk)
        if chunks is None:
            del parser
        read = stream.__anext__()
        assert read.done()
        try:
            assert await read == expected
        except RuntimeError as failed:
            assert str(failed) == expected

    asyncio.run(main())


# A loop closes with a read of it pending: while the read still waits, or
# once its item was handed over but before the loop could deliver it.
@pytest.mark.parametrize("handed_over", [b"", sensor_app(1)], ids=["waiting", "handed over"])
def test_a_read_left_pending_by_a_closed_loop_hands_its_item_on(handed_over):
    parser, stream = new_parser()
    loop = asyncio.new_event_loop()

    async def start():
        return stream.__anext__()

    orphan = loop.run_until_complete(start())
    if handed_over:
        parser.receive_data("dev", handed_over)
        time.sleep(0.05)  # lets the bridge hand it to the stopped loop
    loop.close()

    async def main():
        parser.receive_data("dev", (sensor_app(1) + sensor_app(2))[len(handed_over):])
        return [await msg_id(asyncio.wait_for(stream.__anext__(), 5)) for _ in range(2)]

    assert asyncio.run(main()) == [1, 2]
    assert not orphan.done()


# The loop runs the setter of a read's item, then closes before running the
# future's done-callbacks: the future holds the item, so it is not read again.
def test_an_item_set_on_a_future_whose_loop_then_closed_is_not_read_again():
    parser, stream = new_parser()
    loop = asyncio.new_event_loop()

    async def start():
        return stream.__anext__()

    orphan = loop.run_until_complete(start())
    parser.receive_data("dev", sensor_app(1) + sensor_app(2))
    time.sleep(0.05)  # lets the bridge hand item 1 to the stopped loop
    loop.call_soon(loop.stop)
    loop.run_forever()  # one iteration
    loop.close()

    async def main():
        return await msg_id(asyncio.wait_for(stream.__anext__(), 5))

    assert (orphan.result(), asyncio.run(main())) == (b'{"Ovik":{"Sensor2App":{"msgId":1}}}', 2)


def busy(seconds):
    started = time.perf_counter()
    while time.perf_counter() - started < seconds:
        pass


# A reader falls behind: 3,000 items wait and each takes it 0.2 ms. Its loop
# still ticks a 10 ms heartbeat and wakes a sleeper on time; the items come
# in order. Reads complete at once again after the loop's turn.
def test_a_reader_behind_the_stream_leaves_the_loop_its_turns():
    async def main():
        parser, stream = new_parser()
        for start in range(1, 3001, 500):
            parser.receive_data("dev", b"".join(sensor_app(i) for i in range(start, start + 500)))
        ticks = []

        async def heartbeat():
            while True:
                await asyncio.sleep(0.01)
                ticks.append(None)

        async def sleeper():
            asked = time.perf_counter()
            await asyncio.sleep(0.1)
            return time.perf_counter() - asked - 0.1

        beat, late = asyncio.ensure_future(heartbeat()), asyncio.ensure_future(sleeper())
        started, got = time.perf_counter(), []
        for _ in range(3000):
            got.append(await msg_id(stream.__anext__()))
            busy(0.0002)
        elapsed = time.perf_counter() - started
        beat.cancel()
        assert got == list(range(1, 3001))
        assert len(ticks) >= elapsed / 0.01 / 2
        assert await late < 0.05
        # A turn of the loop ends a run of reads completed at once.
        parser.receive_data("dev", b"".join(sensor_app(i) for i in range(3001, 3011)))
        while not (read := stream.__anext__()).done():
            await read
        await asyncio.sleep(0.002)
        assert stream.__anext__().done()

    asyncio.run(main())
