"""available_usb_ports and get_usb_available_ports in a child process whose
/sys is a tree made here, mounted in a private mount namespace."""

import json
import os
import subprocess
import sys

import pytest

# tty name: its USB device's attribute files, or None for a PCI serial card.
PORTS = {
    "ttyACM0": {"idVendor": "2fe3", "idProduct": "0100", "serial": "D0001", "manufacturer": "Ovik",
                "product": "Dongle"},
    "ttyACM1": {"idVendor": "2fe3", "idProduct": "0200"},
    "ttyS0": None,
    "ttyUSB0": {"idVendor": "2fe3", "idProduct": "0100", "product": "Box"},
    "ttyUSB1": {"idVendor": "0001", "idProduct": "ffff"},
}


def build_sysfs(root):
    for name, usb in PORTS.items():
        device = root / "devices" / name
        files = {"uevent": "DEVTYPE=usb_device", **usb} if usb else {"uevent": "PCI_SLOT_NAME=0000:00:16.3"}
        (device / "tty" / name).mkdir(parents=True)
        for file, text in files.items():
            (device / file).write_text(text + "\n")
        os.symlink("../..", device / "tty" / name / "device")
        (root / "class" / "tty").mkdir(parents=True, exist_ok=True)
        os.symlink(f"../../devices/{name}/tty/{name}", root / "class" / "tty" / name)


CALLS = {"ids": [0x2FE3, 0x0100], "other product": {"pid": 0x0200, "vid": 0x2FE3}, "True, 65535": [True, 0xFFFF],
         "swapped": [0x0100, 0x2FE3], "0": [0, 0xFFFF], "-1": [-1, 1], "65536": [1, 65536], "str": ["1", 1],
         "float": [1, 1.0]}
CHILD = """import json, logging, sys
import ovik_sdk.main_mod as m
lines = []
class Keep(logging.Handler):
    def emit(self, record):
        lines.append(record.getMessage())
logging.getLogger().addHandler(Keep())
logging.getLogger("ovik_sdk.serial.serialport").setLevel(logging.INFO)
def call(arguments):
    lines.clear()
    try:
        result = m.available_usb_ports(**arguments) if type(arguments) is dict else m.available_usb_ports(*arguments)
        return [result.decode(), lines[:]]
    except Exception as error:
        return [f"{type(error).__name__}: {error}", lines[:]]
out = {label: call(arguments) for label, arguments in json.loads(sys.argv[1]).items()}
lines.clear()
print(json.dumps(out | {"get_usb_available_ports": [m.get_usb_available_ports(), lines]}))
"""


@pytest.fixture(scope="module")
def outcomes(tmp_path_factory):
    root = tmp_path_factory.mktemp("sys")
    build_sysfs(root)
    command = ["unshare", "--mount", "sh", "-c", 'mount --bind "$0" /sys && exec "$1" -c "$2" "$3"', str(root),
               sys.executable, CHILD, json.dumps(CALLS)]
    result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def port(name, vid, pid, serial="None", manufacturer="None", product="None"):
    return (f'SerialPortInfo {{ port_name: "/dev/{name}", port_type: UsbPort(UsbPortInfo {{ vid: {vid}, pid: {pid}, '
            f'serial_number: {serial}, manufacturer: {manufacturer}, product: {product} }}) }}')


DONGLE = port("ttyACM0", 12259, 256, 'Some("D0001")', 'Some("Ovik")', 'Some("Dongle")')
BOX = port("ttyUSB0", 12259, 256, product='Some("Box")')
OUT_OF_RANGE = "OverflowError: out of range integral type conversion attempted"


@pytest.mark.parametrize("label,result,lines", [
    ("ids", '[{"port_name":"/dev/ttyACM0"},{"port_name":"/dev/ttyUSB0"}]',
     [f"Available USB ports: [{DONGLE}, {BOX}]"]),
    ("other product", '[{"port_name":"/dev/ttyACM1"}]', [f"Available USB ports: [{port('ttyACM1', 12259, 512)}]"]),
    ("True, 65535", '[{"port_name":"/dev/ttyUSB1"}]', [f"Available USB ports: [{port('ttyUSB1', 1, 65535)}]"]),
    ("swapped", "[]", ["Available USB ports: []"]),
    ("0", "[]", ["Available USB ports: []"]),
    ("-1", OUT_OF_RANGE, []),
    ("65536", OUT_OF_RANGE, []),
    ("str", "TypeError: argument 'vid': 'str' object cannot be interpreted as an integer", []),
    ("float", "TypeError: argument 'pid': 'float' object cannot be interpreted as an integer", []),
    ("get_usb_available_ports", None, []),
])
def test_ports_of_one_vendor_and_product_and_their_log_line(outcomes, label, result, lines):
    assert outcomes[label] == [result, lines]
