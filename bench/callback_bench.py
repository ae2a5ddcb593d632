"""Callback delivery into Python: items per second with the main thread idle
and busy in pure Python, latency from `receive_data` on a feeding thread to
the callback's entry, and how late a third thread gets the interpreter lock
while items flow (the longest stretch the lock is held by others).

Run with the module importable (PYTHONPATH at a tree holding ovik_sdk):
    python3 bench/callback_bench.py
"""

import pathlib
import statistics
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))

import ovik_sdk.main_mod as m  # noqa: E402
from sensor_records import emg  # noqa: E402

ITEMS = 200_000
CHUNK = 128  # frames per receive_data call
IN_FLIGHT = 768  # below the dispatcher's 1,024 slots: nothing is dropped
FRAMES = [emg(seq % 2**24) for seq in range(ITEMS)]


class Counter:
    def __init__(self):
        self.count = 0

    def __call__(self, rows):
        self.count += 1


def feed_all(counter):
    parser = m.MessageParser("bench", m.MsgType.Ovik)
    for start in range(0, ITEMS, CHUNK):
        while start - counter.count > IN_FLIGHT:
            time.sleep(0.0001)
        parser.receive_data("bench", b"".join(FRAMES[start:start + CHUNK]))


def lateness_probe(stop, late):
    """Sleeps 1 ms at a time and notes how much later than asked it runs again."""
    while not stop.is_set():
        asked = time.perf_counter()
        time.sleep(0.001)
        late.append(time.perf_counter() - asked - 0.001)


def throughput(busy_main):
    counter = Counter()
    m.set_emg_data_callback(counter)
    stop, late = threading.Event(), []
    probe = threading.Thread(target=lateness_probe, args=(stop, late))
    feeder = threading.Thread(target=feed_all, args=(counter,))
    started = time.perf_counter()
    probe.start()
    feeder.start()
    spins = 0
    while counter.count < ITEMS:
        if busy_main:
            spins += 1
        else:
            time.sleep(0.01)
    elapsed = time.perf_counter() - started
    stop.set()
    feeder.join()
    probe.join()
    m.set_emg_data_callback(None)
    late.sort()
    return ITEMS / elapsed, late[len(late) // 2] * 1e3, late[int(len(late) * 0.99)] * 1e3, late[-1] * 1e3


def latency(samples=3000):
    entered = {}
    m.set_emg_data_callback(lambda rows: entered.setdefault(int(rows[0][0]), time.perf_counter()))
    sent = {}
    parser = m.MessageParser("bench", m.MsgType.Ovik)

    def feed():
        for seq in range(samples):
            sent[seq] = time.perf_counter()
            parser.receive_data("bench", FRAMES[seq])
            time.sleep(0.0005)

    feeder = threading.Thread(target=feed)
    feeder.start()
    feeder.join()
    deadline = time.monotonic() + 10
    while len(entered) < samples and time.monotonic() < deadline:
        time.sleep(0.01)
    m.set_emg_data_callback(None)
    delays = sorted((entered[s] - sent[s]) * 1e3 for s in entered)
    return len(delays), statistics.median(delays), delays[int(len(delays) * 0.99)]


def main():
    for busy in (False, True):
        rate, late50, late99, late_max = throughput(busy)
        print(f"main thread {'busy' if busy else 'idle'}: {rate:,.0f} items/s; a 1 ms sleeper runs late by "
              f"p50 {late50:.2f} ms, p99 {late99:.2f} ms, max {late_max:.2f} ms")
    got, p50, p99 = latency()
    print(f"latency receive_data -> callback entry ({got} items, idle main): p50 {p50:.3f} ms, p99 {p99:.3f} ms")


if __name__ == "__main__":
    main()
