"""The kit's side of the protocol over a `PtyDevice`: host payloads decoded
and device payloads built with the official protobuf runtime on the test
schema (tests/python/oracle/ovik.proto), and sensor frames streamed at chosen
rates between START_DATA_STREAM and STOP_DATA_STREAM."""
import functools
import pathlib
import sys
import tempfile
import threading
import time

from fakes.pty_link import DONGLE, frame

ORACLE = pathlib.Path(__file__).resolve().parents[1] / "oracle"
START_DATA_STREAM, STOP_DATA_STREAM = 6, 7


@functools.cache
def schema():
    sys.path.insert(0, str(ORACLE))
    try:
        from oracle_schema import compile_schema
    finally:
        sys.path.pop(0)
    return compile_schema(pathlib.Path(tempfile.mkdtemp()), (ORACLE / "ovik.proto").read_text())


def message(name, **fields):
    return schema().message_class(name)(**fields)


def decode_host(received, via_mcu=False):
    """The request a host frame carries, by its destination and route."""
    name = "AppDongle" if received.destination == DONGLE else "AppToControlBox" if via_mcu else "AppSensor"
    return schema().message_class(name).FromString(received.payload)


def device_frame(**fields):
    """A SensorApp frame from the device to the host."""
    return frame(message("SensorApp", **fields).SerializeToString())


# One data frame per kind and sequence number: EMG with four 24-bit samples,
# IMU and magnetometer with one raw triple, flex with one frame of six channels.
SENSOR_FRAMES = {
    "emg": lambda seq: device_frame(afe_data=message("AfeData", seq_num=seq, channel_adc_value=[bytes(range(seq % 200, seq % 200 + 12))])),
    "imu": lambda seq: device_frame(imu_data=message("ImuData", seq_num=seq, acc_raw_data=bytes(6), gyro_raw_data=bytes(6))),
    "mag": lambda seq: device_frame(mag_data=message("MagData", seq_num=seq, mag_raw_data=bytes(6))),
    "flex": lambda seq: device_frame(flex_data=message("FlexData", seq_num=seq, channel_adc_value=[seq.to_bytes(2, "little") * 6])),
}


class Kit:
    """Answers START_DATA_STREAM by streaming `rates` ({kind: frames per
    second}) until STOP_DATA_STREAM; `sent[kind]` lists the sequence numbers
    written, with `sent_at[kind]` their monotonic write times."""

    def __init__(self, device, rates):
        self.device = device
        self.rates = rates
        self.sent = {kind: [] for kind in rates}
        self.sent_at = {kind: [] for kind in rates}
        self._streaming = None
        device.reply = self._on_frame

    def _on_frame(self, received):
        command = decode_host(received).msg_cmd if received.destination != DONGLE else None
        if command == START_DATA_STREAM and self._streaming is None:
            self._streaming = threading.Event()
            threading.Thread(target=self._stream, args=(self._streaming,), daemon=True).start()
        elif command == STOP_DATA_STREAM and self._streaming is not None:
            self._streaming.set()
            self._streaming = None

    def _stream(self, stop):
        start = time.monotonic()
        next_seq = {kind: 1 for kind in self.rates}
        while not stop.is_set():
            elapsed = time.monotonic() - start
            for kind, rate in self.rates.items():
                while next_seq[kind] <= elapsed * rate:
                    seq = next_seq[kind]
                    if not self.device.send(SENSOR_FRAMES[kind](seq)):
                        return
                    self.sent[kind].append(seq)
                    self.sent_at[kind].append(time.monotonic())
                    next_seq[kind] += 1
            time.sleep(0.001)
