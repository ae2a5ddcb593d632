"""Every Python snippet of the README runs against the fake kit on a
pseudo-terminal, in place of the port the README names."""

import pathlib
import re
import subprocess
import sys

import pytest

from fakes.kit import Kit, decode_host, device_frame, message
from fakes.ota_device import OtaDevice
from fakes.pty_link import DONGLE, PtyDevice

README = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text()
# Section title: the snippet of that section.
SNIPPETS = {section.split("\n", 1)[0]: re.search(r"^```python\n(.*?)^```", section, re.M | re.S)[1]
            for section in README.split("\n### ")[1:]}
# Section title: a line its snippet prints.
PRINTS = {
    "Find the port": r"^\[\]$",
    "Stream, and receive data by callback": r"^EMG \[\d+\.0\]$",
    "Poll the buffers, choose the fusion mode": r"^\d+ EMG records, orientation \[\[\d+\.0, ",
    "Send commands, read the replies": r"""^b'{"Ovik":{"Sensor2App":{"deviceInfo":{"model":"OV-1"}}}}'$""",
    "Update the firmware": r"^DfuProgress\(state=Completed, percentage=100\.0, ",
}


def answer_as_kit(device):
    """Streams between start and stop, and answers device-info requests. No
    magnetometer frames: their all-zero field would be a magnetic anomaly."""
    stream = Kit(device, {"emg": 200, "imu": 100}).device.reply

    def reply(received):
        stream(received)
        if received.destination != DONGLE and decode_host(received).msg_cmd == 1:
            return device_frame(device_info=message("DeviceInfo", model="OV-1"))

    device.reply = reply


@pytest.mark.parametrize("title", SNIPPETS)
def test_readme_snippet_runs_against_the_fake_kit(tmp_path, title):
    (tmp_path / "firmware.bin").write_bytes(bytes(range(256)) * 9)
    with PtyDevice() as device:
        if title == "Update the firmware":
            OtaDevice(device)
        else:
            answer_as_kit(device)
        code = SNIPPETS[title].replace("/dev/ttyACM0", device.path)
        result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert (result.returncode, result.stderr) == (0, "")
    assert re.search(PRINTS[title], result.stdout, re.M), result.stdout
