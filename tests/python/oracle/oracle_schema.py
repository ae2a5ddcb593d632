"""Compiling ovik.proto for the official runtime, and driving our codec tool."""
import re
import subprocess

from google.protobuf import descriptor_pb2, descriptor_pool, message_factory
from grpc_tools import protoc

PACKAGE = "ovik_proto"
TOP_LEVEL = ["AppDongle", "DongleApp", "AppSensor", "SensorApp", "AppToControlBox", "ControlBoxToApp"]


class Schema:
    def __init__(self, file_descriptor):
        self.file = file_descriptor
        self.package = file_descriptor.package

    def descriptor(self, name):
        return self.file.message_types_by_name[name]

    def message_class(self, name):
        return message_factory.GetMessageClass(self.descriptor(name))

    def records(self):
        """The schema's messages, without the scope messages around the enums."""
        return [m for m in self.file.message_types_by_name.values() if not m.name.endswith("Scope")]

    def enums(self):
        return [e for m in self.file.message_types_by_name.values() for e in m.enum_types]


def compile_schema(directory, text, name="ovik.proto"):
    source = directory / name
    source.write_text(text)
    descriptor_set = directory / "schema.pb"
    status = protoc.main(["protoc", f"-I{directory}", f"--descriptor_set_out={descriptor_set}", str(source)])
    if status != 0:
        raise RuntimeError(f"protoc failed on {source} with status {status}")
    files = descriptor_pb2.FileDescriptorSet.FromString(descriptor_set.read_bytes())
    pool = descriptor_pool.DescriptorPool()
    for file_proto in files.file:
        pool.Add(file_proto)
    return Schema(pool.FindFileByName(name))


UNPACKABLE = re.compile(r"^(\s*repeated (?:float|\w+Scope\.\w+) \w+ = \d+);", re.M)


def unpacked_variant(text):
    """ovik.proto in another package, with repeated floats and enums unpacked."""
    text, changed = UNPACKABLE.subn(r"\1 [packed = false];", text)
    assert changed == 6, f"expected 6 repeated floats and enums, changed {changed}"
    return text.replace(f"package {PACKAGE};", f"package {PACKAGE}_unpacked;")


class Codec:
    """Our C++ codec, through the test-only tool (one process per batch)."""

    def __init__(self, path):
        self.path = path

    def run(self, requests):
        text = "".join(line + "\n" for line in requests)
        proc = subprocess.run([self.path], input=text, capture_output=True, text=True, timeout=240)
        assert proc.returncode == 0, proc.stderr
        lines = proc.stdout.split("\n")
        assert lines[-1] == ""
        return lines[:-1]

    def decode(self, items):
        """[(message name, payload bytes)] -> ["ok <record text>" | "error <text>"]"""
        answers = self.run([f"decode {name} {payload.hex()}" for name, payload in items])
        assert len(answers) == len(items)
        return answers

    def encode(self, items):
        """[(message name, record text)] -> ["ok <hex>" | "error <text>"]"""
        answers = self.run([f"encode {name} {record}" for name, record in items])
        assert len(answers) == len(items)
        return answers

    def json(self, items):
        """[(message name, payload bytes)] -> ["json <text>" | "invalid <text>" | "undecodable <text>"]"""
        answers = self.run([f"json {name} {payload.hex()}" for name, payload in items])
        assert len(answers) == len(items)
        return answers

    def schema(self):
        """Our field lists and enumeration tables, as the tool prints them."""
        messages, enums = {}, {}
        for line in self.run(["schema"]):
            words = line.split(" ")
            if words[0] == "message":
                messages[words[1]] = []
            elif words[0] == "field":
                message, number, name, json_name, kind, repeated, type_name = words[1:]
                messages[message].append((int(number), name, json_name, kind, repeated == "1", type_name))
            elif words[0] == "enum":
                enums[words[1]] = []
            elif words[0] == "value":
                enum, number, proto_name, debug_name = words[1:]
                enums[enum].append((int(number), proto_name, debug_name))
        assert line == "end"
        return messages, enums
