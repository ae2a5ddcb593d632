# MessageStream reads that are cancelled, timed out or concurrent.

import asyncio
import contextlib
import json

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
