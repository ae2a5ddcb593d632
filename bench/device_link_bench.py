"""A device link on a pseudo-terminal, measured end to end:

- latency from the fake device's write of a reply frame to the entry of the
  message-response callback, with the main thread idle in its event loop;
- CPU time of the SDK's threads while the fake kit streams EMG at 500 frames/s
  (2,000 samples/s), IMU at 400 Hz, magnetometer at 100 Hz and flex at 200 Hz,
  with a callback registered for each kind.

Run from the top of the tree with the module and the test fakes importable:
    PYTHONPATH=$PWD/build/pyroot:$PWD/tests/python python3 bench/device_link_bench.py
"""
import asyncio
import os
import re
import statistics
import threading
import time

import ovik_sdk.main_mod as m
from fakes.kit import Kit, device_frame
from fakes.pty_link import PtyDevice

RATES = {"emg": 500, "imu": 400, "mag": 100, "flex": 200}
MSG_ID = re.compile(r'"msgId":(\d+)')


def sdk_cpu_seconds():
    """CPU time of the process less that of the Python threads (this program's
    and the fake device's): what the SDK's own threads have used."""
    python = 0
    for thread in threading.enumerate():
        with open(f"/proc/self/task/{thread.native_id}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        python += (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return time.process_time() - python


async def latency(pty, count=2000, spacing=0.002):
    written, entered = {}, {}
    m.set_msg_resp_callback(lambda device_id, text: entered.setdefault(int(MSG_ID.search(text)[1]), time.monotonic()))

    def write():
        for msg_id in range(1, count + 1):
            data = device_frame(msg_id=msg_id)
            written[msg_id] = time.monotonic()
            pty.send(data)
            time.sleep(spacing)

    writer = threading.Thread(target=write)
    writer.start()
    while writer.is_alive() or len(entered) < count:
        await asyncio.sleep(0.05)
    m.set_msg_resp_callback(None)
    delays = sorted((entered[i] - written[i]) * 1000 for i in written)
    return statistics.median(delays), delays[int(len(delays) * 0.99)]


async def streaming_cpu(device, pty, with_callbacks, seconds=10.0):
    kit = Kit(pty, RATES)
    received = {kind: 0 for kind in RATES}

    def counter(kind):
        def count(rows):
            received[kind] += len(rows)
        return count

    for kind, register in [("emg", m.set_emg_data_callback), ("imu", m.set_imu_data_callback),
                           ("mag", m.set_mag_data_callback), ("flex", m.set_flex_data_callback)]:
        register(counter(kind) if with_callbacks else None)
    await device.start_sensor_data_stream()
    await asyncio.sleep(1.0)  # the fake kit's streaming thread is there now
    before, wall = sdk_cpu_seconds(), time.monotonic()
    await asyncio.sleep(seconds)
    used, elapsed = sdk_cpu_seconds() - before, time.monotonic() - wall
    await device.stop_sensor_data_stream()
    await asyncio.sleep(0.5)
    sent = {kind: len(seqs) for kind, seqs in kit.sent.items()}
    return used / elapsed, sent, received


async def main():
    with PtyDevice() as pty:
        device = m.OvikDevice(pty.path, 115200)
        await device.open_serial_stream(m.MessageParser("bench", m.MsgType.Ovik))
        p50, p99 = await latency(pty)
        print(f"write to message-response callback entry: p50 {p50:.3f} ms, p99 {p99:.3f} ms "
              f"(targets: under 1 ms and 5 ms)")
        for with_callbacks in (False, True):
            share, sent, received = await streaming_cpu(device, pty, with_callbacks)
            print(f"SDK threads while streaming, {'with' if with_callbacks else 'no'} callbacks: "
                  f"{share * 100:.2f} % of one core (target: under 5 %)")
            print(f"  frames sent {sent}, callback rows received {received}")
        await device.stop_stream()


if __name__ == "__main__":
    asyncio.run(main())
