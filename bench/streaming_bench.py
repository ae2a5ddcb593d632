"""Streaming into Python callbacks, in one process:

- `MessageParser.receive_data` fed as fast as one Python thread can with the
  kit's frames (EMG, IMU and magnetometer, 20:2:1), every data callback
  counting rows, with the main thread idle and with it busy in a pure-Python
  loop; against the plain-Python reader of the stream benchmark fed the same
  bytes on the same thread (rows/s, calls/s, items dropped);
- latency from `receive_data` on a feeding thread to the callback's entry;
- how late a thread that sleeps 1 ms at a time gets the interpreter lock back
  while 1,000 queued items of 20 us each are delivered (how long one
  acquisition serves a run of items);
- `MessageStream` reads: items/s with the items waiting and as a thread feeds
  them, and how a 10 ms heartbeat task and a sleeper on the same loop fare
  while a reader doing 0.2 ms of work per item falls behind a thread feeding
  40 messages per millisecond.

The pty path end to end (CPU, latency and context switches against the
plain-Python reader and a C reader) is `../shared/tools/stream_bench/run`.

Run from the project root with the module installed:
    python3 bench/streaming_bench.py [--reps N] [--stream-bench DIR]
"""
import argparse
import asyncio
import logging
import pathlib
import statistics
import sys
import threading
import time

import ovik_sdk.main_mod as m

KINDS = ("emg", "imu", "mag", "imu_calibration", "mag_calibration", "euler", "quaternion", "flex")
TICKS = 20_000  # 1 ms ticks at 10x the kit's rates: 230,000 frames
CHUNK = 4096    # bytes per receive_data call, as the serial listener reads them


class Dropped(logging.Handler):
    count = 0

    def emit(self, record):
        if "is full" in record.getMessage():
            Dropped.count += 1


def set_callbacks(make):
    for kind in KINDS:
        getattr(m, f"set_{kind}_data_callback")(make(kind) if make else None)


def wait_until_settled(counter):
    """Waits until `counter()` has not moved for 100 ms; returns when it last moved."""
    last, since = counter(), time.perf_counter()
    while time.perf_counter() - since < 0.1:
        time.sleep(0.005)
        now = counter()
        if now != last:
            last, since = now, time.perf_counter()
    return since


def flat_out(receiver, chunks, busy_main):
    """(rows/s, calls/s, dropped) for one receiver fed every chunk on a thread."""
    rows, calls = [0], [0]

    def count(_kind):
        def callback(batch):
            rows[0] += len(batch)
            calls[0] += 1
        return callback

    feed = receiver(count)
    Dropped.count = 0
    fed = threading.Event()

    def feeder():
        for chunk in chunks:
            feed(chunk)
        fed.set()

    started = time.perf_counter()
    threading.Thread(target=feeder).start()
    spins = 0
    while not fed.is_set():
        if busy_main:
            spins += 1
        else:
            time.sleep(0.001)
    elapsed = wait_until_settled(lambda: rows[0]) - started
    set_callbacks(None)
    return rows[0] / elapsed, calls[0] / elapsed, Dropped.count


def sdk_receiver(count):
    set_callbacks(count)
    parser = m.MessageParser("bench", m.MsgType.Ovik)
    return lambda chunk: parser.receive_data("bench", chunk)


def peer_receiver(count):
    from peer import Peer
    return Peer({kind: count(kind) for kind in KINDS}).feed


def feeding(chunks, reps):
    for busy in (False, True):
        results = {name: [flat_out(receiver, chunks, busy) for _ in range(reps)]
                   for name, receiver in (("sdk", sdk_receiver), ("peer", peer_receiver))}
        median = {name: [statistics.median(run[i] for run in runs) for i in range(3)]
                  for name, runs in results.items()}
        for name, (rows, calls, dropped) in median.items():
            print(f"receive_data flat out, main {'busy' if busy else 'idle'}, {name:4}: {rows:10,.0f} rows/s "
                  f"{calls:10,.0f} calls/s, dropped {max(run[2] for run in results[name])}")
        print(f"  sdk/peer rows/s: {median['sdk'][0] / median['peer'][0]:.2f}")


def latency(frames, samples=3000):
    entered = {}
    m.set_emg_data_callback(lambda rows: entered.setdefault(int(rows[0][0]), time.perf_counter()))
    sent = {}
    parser = m.MessageParser("bench", m.MsgType.Ovik)

    def feed():
        for seq, frame in enumerate(frames[:samples], 1):
            sent[seq] = time.perf_counter()
            parser.receive_data("bench", frame)
            time.sleep(0.0005)

    feeder = threading.Thread(target=feed)
    feeder.start()
    feeder.join()
    wait_until_settled(lambda: len(entered))
    m.set_emg_data_callback(None)
    delays = sorted((entered[s] - sent[s]) * 1e3 for s in entered if s in sent)
    print(f"latency receive_data -> callback entry ({len(delays)} items, idle main): "
          f"p50 {statistics.median(delays):.3f} ms, p99 {delays[int(len(delays) * 0.99)]:.3f} ms")


def busy(seconds):
    """Work in pure Python, holding the interpreter lock but for its switches."""
    started = time.perf_counter()
    while time.perf_counter() - started < seconds:
        pass


def lateness_while_a_run_is_delivered(frames, items=1000, cost=20e-6):
    release, delivered = threading.Event(), [0]

    def slow(rows):
        delivered[0] += 1
        if delivered[0] == 1:
            release.wait()
        busy(cost)

    m.set_emg_data_callback(slow)
    parser = m.MessageParser("bench", m.MsgType.Ovik)
    parser.receive_data("bench", frames[0])
    while delivered[0] == 0:
        time.sleep(0.001)
    parser.receive_data("bench", b"".join(frames[1:items + 1]))
    late = []

    def sleeper():
        while delivered[0] <= items:
            asked = time.perf_counter()
            time.sleep(0.001)
            late.append(time.perf_counter() - asked - 0.001)

    probe = threading.Thread(target=sleeper)
    probe.start()
    release.set()
    probe.join()
    m.set_emg_data_callback(None)
    late.sort()
    print(f"a 1 ms sleeper runs late by p50 {late[len(late) // 2] * 1e3:.2f} ms, "
          f"p99 {late[int(len(late) * 0.99)] * 1e3:.2f} ms, max {late[-1] * 1e3:.2f} ms "
          f"while {items:,} queued items of 20 us are delivered")


def stream_reads(emg, items=200_000):
    parser = m.MessageParser("bench", m.MsgType.Ovik)
    stream = parser.message_stream()
    batches = [b"".join(emg[i:i + 100]) for i in range(0, len(emg) - 99, 100)]

    async def read_waiting():
        for batch in batches[:100]:
            parser.receive_data("bench", batch)
        started = time.perf_counter()
        for _ in range(100 * 100):
            await anext(stream)
        return 100 * 100 / (time.perf_counter() - started)

    async def read_arriving():
        stop = threading.Event()

        def feed():
            while not stop.is_set():
                for batch in batches:
                    parser.receive_data("bench", batch)
                    time.sleep(0.0005)

        feeder = threading.Thread(target=feed)
        feeder.start()
        started = time.perf_counter()
        for _ in range(items // 4):
            await anext(stream)
        rate = items // 4 / (time.perf_counter() - started)
        stop.set()
        feeder.join()
        return rate

    print(f"MessageStream reads: {asyncio.run(read_waiting()):,.0f} items/s waiting, "
          f"{asyncio.run(read_arriving()):,.0f} items/s arriving")
    ticks, late, outcome = asyncio.run(heartbeat_beside_a_lagging_reader(emg))
    print(f"a reader of 0.2 ms per item behind 40 messages/ms: a 10 ms heartbeat ticked {ticks} times in 1.5 s, "
          f"a 1.5 s sleep woke {late * 1e3:.1f} ms late; the reader {outcome}")


async def heartbeat_beside_a_lagging_reader(emg):
    parser = m.MessageParser("bench", m.MsgType.Ovik)
    stream = parser.message_stream()
    stop, ticks = threading.Event(), [0]

    def feed():
        for start in range(0, len(emg) - 40, 40):
            if stop.is_set():
                return
            parser.receive_data("bench", b"".join(emg[start:start + 40]))
            time.sleep(0.001)

    async def heartbeat():
        while True:
            await asyncio.sleep(0.01)
            ticks[0] += 1

    async def reader():
        try:
            async for _ in stream:
                busy(0.0002)
        except RuntimeError as ended:
            return f"ended with {ended}"

    feeder = threading.Thread(target=feed)
    feeder.start()
    beat, read = asyncio.ensure_future(heartbeat()), asyncio.ensure_future(reader())
    started = time.perf_counter()
    await asyncio.sleep(1.5)
    late = time.perf_counter() - started - 1.5
    stop.set()
    feeder.join()
    beat.cancel()
    outcome = read.result() if read.done() else "kept reading"
    read.cancel()
    return ticks[0], late, outcome


def main():
    root = pathlib.Path(__file__).resolve().parents[1]
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("--reps", type=int, default=3)
    options.add_argument("--stream-bench", default=str(root.parent / "shared" / "tools" / "stream_bench"),
                         help="the stream benchmark's directory (its frames and plain-Python reader)")
    args = options.parse_args()
    sys.path.insert(0, args.stream_bench)
    import frames

    logging.getLogger("ovik_sdk").addHandler(Dropped())
    data = b"".join(frame for tick in frames.ticks(TICKS, 10) for _kind, _seq, frame in tick)
    chunks = [data[i:i + CHUNK] for i in range(0, len(data), CHUNK)]
    feeding(chunks, args.reps)
    emg = [frames.emg_frame(seq) for seq in range(1, 3002)]
    latency(emg)
    lateness_while_a_run_is_delivered(emg)
    stream_reads([frames.emg_frame(seq) for seq in range(1, 100_001)])


if __name__ == "__main__":
    main()
