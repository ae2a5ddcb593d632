"""MessageParser and MessageStream, fed with frames built here independently."""

import asyncio
import json
import logging
import threading

import pytest

import ovik_sdk.main_mod as m
from fakes.pty_link import frame


def varint(value: int) -> bytes:
    out = bytearray()
    while True:
        low = value & 0x7F
        value >>= 7
        out.append(low | (0x80 if value else 0))
        if not value:
            return bytes(out)


def sensor_app(msg_id: int) -> bytes:
    """A SensorApp carrying only its msg_id (field 1)."""
    return frame(b"\x08" + varint(msg_id))


def new_parser(device_id="dev"):
    parser = m.MessageParser(device_id, m.MsgType.Ovik)
    return parser, parser.message_stream()


def test_a_stream_yields_the_ovik_json_bytes():
    async def main():
        parser, stream = new_parser()
        assert stream.__aiter__() is stream
        parser.receive_data("dev", sensor_app(5))
        item = await stream.__anext__()
        assert type(item) is bytes
        assert item == b'{"Ovik":{"Sensor2App":{"msgId":5}}}'
        assert json.loads(item) == {"Ovik": {"Sensor2App": {"msgId": 5}}}

    asyncio.run(main())


def test_accepted_data_forms():
    async def main():
        parser, stream = new_parser()
        data = sensor_app(9)
        assert parser.receive_data("dev", list(data)) is None
        assert parser.receive_data(device_id="dev", data=bytearray(sensor_app(10))) is None
        assert parser.receive_data("dev", b"") is None
        assert [await stream.__anext__() for _ in range(2)] == [
            b'{"Ovik":{"Sensor2App":{"msgId":9}}}', b'{"Ovik":{"Sensor2App":{"msgId":10}}}']

    asyncio.run(main())


def test_a_subscription_far_behind_reports_the_lag_then_goes_on():
    async def main():
        parser, stream = new_parser()
        frames = [sensor_app(i) for i in range(16_400)]
        for start in range(0, len(frames), 4000):
            parser.receive_data("dev", b"".join(frames[start:start + 4000]))
        with pytest.raises(RuntimeError) as lagged:
            await stream.__anext__()
        assert str(lagged.value) == "Lagged(16)"
        assert await stream.__anext__() == b'{"Ovik":{"Sensor2App":{"msgId":16}}}'
        assert await stream.__anext__() == b'{"Ovik":{"Sensor2App":{"msgId":17}}}'

    asyncio.run(main())


def test_the_stream_ends_for_good_once_the_parser_is_gone():
    async def main():
        parser, stream = new_parser()
        parser.receive_data("dev", sensor_app(3))
        del parser
        assert await stream.__anext__() == b'{"Ovik":{"Sensor2App":{"msgId":3}}}'
        for _ in range(2):
            with pytest.raises(RuntimeError) as ended:
                await stream.__anext__()
            assert str(ended.value) == "Stream ended unexpectedly"

    asyncio.run(main())


def test_concurrent_waiters_get_one_item_each():
    async def main():
        parser, stream = new_parser()
        second = parser.message_stream()  # the same subscription
        waiters = [stream.__anext__(), second.__anext__(), stream.__anext__()]
        await asyncio.sleep(0.01)
        parser.receive_data("dev", sensor_app(1) + sensor_app(2) + sensor_app(3))
        items = await asyncio.gather(*waiters)
        assert sorted(items) == [b'{"Ovik":{"Sensor2App":{"msgId":%d}}}' % i for i in (1, 2, 3)]

    asyncio.run(main())


def test_a_cancelled_step_releases_the_stream():
    async def main():
        parser, stream = new_parser()
        waiting = stream.__anext__()
        await asyncio.sleep(0.01)
        waiting.cancel()
        await asyncio.sleep(0)  # the done-callback aborts the step
        following = stream.__anext__()
        # The cancelled step may still take the first item before its abort
        # lands (nothing it did is rolled back); it must let go of the stream.
        parser.receive_data("dev", sensor_app(4) + sensor_app(5))
        assert await asyncio.wait_for(following, 5) in (
            b'{"Ovik":{"Sensor2App":{"msgId":4}}}', b'{"Ovik":{"Sensor2App":{"msgId":5}}}')
        with pytest.raises(asyncio.CancelledError):
            await waiting

    asyncio.run(main())


def test_async_for_over_a_stream():
    async def main():
        parser, stream = new_parser()
        parser.receive_data("dev", sensor_app(1) + sensor_app(2))
        seen = []
        async for item in stream:
            seen.append(json.loads(item)["Ovik"]["Sensor2App"]["msgId"])
            if len(seen) == 2:
                break
        assert seen == [1, 2]

    asyncio.run(main())


def test_a_message_that_cannot_be_rendered_fails_only_its_step():
    async def main():
        parser, stream = new_parser()
        # device_event (field 3) with a number that names no variant
        parser.receive_data("dev", frame(b"\x08\x01\x18\x63") + sensor_app(2))
        with pytest.raises(RuntimeError) as failed:
            await stream.__anext__()
        assert str(failed.value) == "failed to render message as JSON: Invalid variant 99"
        assert await stream.__anext__() == b'{"Ovik":{"Sensor2App":{"msgId":2}}}'

    asyncio.run(main())


def test_log_handlers_running_inside_receive_data_do_not_deadlock():
    parser, _ = new_parser()
    other, _ = new_parser()
    reentered = []

    class Reenter(logging.Handler):
        def emit(self, record):
            try:
                parser.receive_data("dev", sensor_app(1))
            except RuntimeError as error:
                reentered.append(str(error))
            print("handler output", flush=True)  # lets go of the lock while writing

    logger = logging.getLogger("ovik_sdk.proto.msg_parser")
    handler = Reenter()
    logger.addHandler(handler)
    try:
        feeder = threading.Thread(target=lambda: [other.receive_data("dev", sensor_app(i)) for i in range(200)])
        feeder.start()
        for i in range(50):
            parser.receive_data("dev", b"")  # logs "Data should not be empty" at Error
        feeder.join()
    finally:
        logger.removeHandler(handler)
    assert reentered and set(reentered) == {"Already borrowed"}
