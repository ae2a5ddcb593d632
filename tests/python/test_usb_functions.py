"""available_usb_ports and get_usb_available_ports, each call in a child
process whose /sys is a tree made here, mounted in a private mount namespace."""

import os
import subprocess
import sys

import pytest

# tty name: the attribute files of its USB device, or None for a PCI serial card.
PORTS = {
    "ttyACM0": {"idVendor": "2fe3", "idProduct": "0001", "serial": "D1", "manufacturer": "Ovik", "product": "Dongle"},
    "ttyACM1": {"idVendor": "2fe3", "idProduct": "ffff"},
    "ttyS0": None,
    "ttyUSB0": {"idVendor": "2fe3", "idProduct": "0001"},
}
CHILD = """import logging, sys
logging.basicConfig(level=logging.INFO, format="%(message)s")
import ovik_sdk.main_mod as m
print(eval("m." + sys.argv[1]))"""


@pytest.fixture(scope="module")
def sysfs(tmp_path_factory):
    root = tmp_path_factory.mktemp("sys")
    (root / "class" / "tty").mkdir(parents=True)
    for name, usb in PORTS.items():
        device = root / "devices" / name
        (device / "tty" / name).mkdir(parents=True)
        for file, text in ({"uevent": "DEVTYPE=usb_device", **usb} if usb else {"uevent": "PCI_SLOT_NAME=0"}).items():
            (device / file).write_text(text + "\n")
        os.symlink("../..", device / "tty" / name / "device")
        os.symlink(f"../../devices/{name}/tty/{name}", root / "class" / "tty" / name)
    return root


def port(name, pid, serial="None", maker="None", product="None"):
    return (f'SerialPortInfo {{ port_name: "/dev/{name}", port_type: UsbPort(UsbPortInfo {{ vid: 12259, pid: {pid}, '
            f'serial_number: {serial}, manufacturer: {maker}, product: {product} }}) }}')


DONGLE = port("ttyACM0", 1, 'Some("D1")', 'Some("Ovik")', 'Some("Dongle")')


@pytest.mark.parametrize("call,printed,last_logged", [
    ("available_usb_ports(0x2FE3, True)", """b'[{"port_name":"/dev/ttyACM0"},{"port_name":"/dev/ttyUSB0"}]'""",
     f"Available USB ports: [{DONGLE}, {port('ttyUSB0', 1)}]"),
    ("available_usb_ports(pid=65535, vid=0x2FE3)", """b'[{"port_name":"/dev/ttyACM1"}]'""",
     f"Available USB ports: [{port('ttyACM1', 65535)}]"),
    ("available_usb_ports(1, 0x2FE3)", "b'[]'", "Available USB ports: []"),
    ("available_usb_ports(0, 0)", "b'[]'", "Available USB ports: []"),
    ("available_usb_ports(-1, 1)", "", "OverflowError: out of range integral type conversion attempted"),
    ("available_usb_ports(1, 65536)", "", "OverflowError: out of range integral type conversion attempted"),
    ("available_usb_ports('1', 1)", "", "TypeError: argument 'vid': 'str' object cannot be interpreted as an integer"),
    ("available_usb_ports(1, .5)", "", "TypeError: argument 'pid': 'float' object cannot be interpreted as an integer"),
    ("get_usb_available_ports()", "None", "ovik_sdk version: 0.5.0"),
])
def test_ports_of_one_vendor_and_product_and_their_log_line(sysfs, call, printed, last_logged):
    result = subprocess.run(["unshare", "--mount", "sh", "-c", 'mount --bind "$0" /sys && exec "$1" -c "$2" "$3"',
                             sysfs, sys.executable, CHILD, call], capture_output=True, text=True, timeout=60)
    assert (result.stdout.rstrip("\n"), result.stderr.splitlines()[-1]) == (printed, last_logged)
