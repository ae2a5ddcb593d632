"""Every Python snippet of the README runs against the fake kit on a
pseudo-terminal, in place of the port the README names."""

import pathlib
import re
import subprocess
import sys

import pytest

from fakes.kit import Kit, decode_host, device_frame, message
from fakes.pty_link import DONGLE, PtyDevice

README = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text()
# Section title: the snippet of that section, and a line it prints.
SNIPPETS = {section.split("\n", 1)[0]: re.search(r"^```python\n(.*?)^```", section, re.M | re.S)[1]
            for section in README.split("\n### ")[1:]}
PRINTS = {
    "Find the port": r"^\[\]$",
    "Stream, and receive data by callback": r"^EMG \[\d+\.0, ",
    "Poll the buffers, choose the fusion mode": r"^\d+ EMG records, orientation \[\[\d+\.0, ",
    "Send commands, read the replies": r"""^b'{"Ovik":{"Sensor2App":{"deviceInfo":{"model":"OV-1"}}}}'$""",
    "Update the firmware": r"^DfuProgress\(state=Completed, percentage=100\.0, ",
}
# Callbacks, buffers and the update land with other work.
PENDING = {"Stream, and receive data by callback", "Poll the buffers, choose the fusion mode", "Update the firmware"}


@pytest.fixture
def kit():
    with PtyDevice() as device:
        stream = Kit(device, {"emg": 200, "imu": 100, "mag": 50}).device.reply

        def reply(received):  # streams, and answers device-info requests
            stream(received)
            if received.destination != DONGLE and decode_host(received).msg_cmd == 1:
                return device_frame(device_info=message("DeviceInfo", model="OV-1"))

        device.reply = reply
        yield device


@pytest.mark.parametrize("title", [pytest.param(title, marks=[pytest.mark.xfail(strict=False)] * (title in PENDING))
                                   for title in SNIPPETS])
def test_readme_snippet_runs_against_the_fake_kit(kit, tmp_path, title):
    code = SNIPPETS[title].replace("/dev/ttyACM0", kit.path)
    result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert (result.returncode, result.stderr) == (0, "")
    assert re.search(PRINTS[title], result.stdout, re.M), result.stdout
