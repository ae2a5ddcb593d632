"""The asyncio bridge: awaitable operations run on the bridge's runtime."""

import asyncio
import gc
import threading
import time
import weakref

import pytest


async def until(condition, timeout=5.0):
    """Waits on the loop until `condition()` holds (for effects with nothing to await)."""
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, "condition not reached"
        await asyncio.sleep(0.001)


def test_results_failures_and_faults(probe):
    calls_before = probe.operation_counts()[0]
    with pytest.raises(RuntimeError) as refused:
        probe.sleep_then(1, 1)
    # asyncio refuses after the synchronous part ran
    assert (str(refused.value), probe.operation_counts()[0]) == ("no running event loop", calls_before + 1)

    async def main():
        assert [await probe.sleep_then(5, 42), await probe.sleep_then(0, -7)] == [42, -7]
        with pytest.raises(RuntimeError) as failed:
            await probe.fail_after(1, False, "Serial writer is missing or not connected")
        assert str(failed.value) == "Serial writer is missing or not connected"
        panic = probe.operation_panic_type()
        assert issubclass(panic, Exception)
        with pytest.raises(panic) as faulted:
            await probe.fail_after(1, True, "broken invariant")
        assert str(faulted.value) == "operation failed with an internal fault: broken invariant"
        with pytest.raises(panic) as unnamed:
            await probe.fail_after(1, True, "")
        assert str(unnamed.value) == "operation failed with an internal fault: unknown error"

    asyncio.run(main())


def test_the_operation_runs_without_being_awaited(probe):
    async def main():
        _, finished, _ = probe.operation_counts()
        probe.sleep_then(1, 1)  # the future is dropped at once
        gc.collect()
        await until(lambda: probe.operation_counts()[1] == finished + 1)

    asyncio.run(main())


def test_cancelling_the_future_drops_the_operation(probe):
    async def main():
        _, finished, dropped = probe.operation_counts()
        future = probe.forever()
        await asyncio.sleep(0.01)
        future.cancel()
        await until(lambda: probe.operation_counts()[2] == dropped + 1)
        assert probe.operation_counts()[1] == finished
        with pytest.raises(asyncio.CancelledError):
            await future

    asyncio.run(main())


def test_completion_racing_cancellation(probe):
    errors = []

    async def main():
        asyncio.get_running_loop().set_exception_handler(lambda loop, context: errors.append(context))
        futures = []
        for i in range(1000):
            future = probe.sleep_then(0, i)
            if i % 3:
                future.cancel()
            futures.append(future)
        results = await asyncio.gather(*futures, return_exceptions=True)
        for i, result in enumerate(results):
            if i % 3 == 0:
                assert result == i
            else:
                assert isinstance(result, asyncio.CancelledError)
        await asyncio.sleep(0.05)  # outcomes scheduled after the cancellations land here

    asyncio.run(main())
    assert errors == []


def test_a_loop_closed_before_completion_drops_the_outcome(probe, capsys):
    released = threading.Event()
    loop = asyncio.new_event_loop()

    async def start():
        return probe.sleep_then(100, 1)

    future = loop.run_until_complete(start())
    loop.close()
    weakref.finalize(loop, released.set)
    del loop, future
    # The bridge holds the last references; it lets them go after it has
    # tried to hand over the outcome.
    assert released.wait(5)
    assert capsys.readouterr().err == ""


def test_a_future_awaited_from_another_thread_loop(probe):
    results = []

    def in_thread():
        async def main():
            results.append(await probe.sleep_then(1, 9))

        asyncio.run(main())

    thread = threading.Thread(target=in_thread)
    thread.start()
    thread.join()
    assert results == [9]
