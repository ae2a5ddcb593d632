"""Our field lists and enumeration tables against ovik.proto as compiled by
protoc: every message, field number, name, JSON name, kind, repetition and
type, and every enumeration's numbers and protocol names."""
import pytest
from google.protobuf.descriptor import FieldDescriptor as FD

from oracle_schema import compile_schema

KINDS = {FD.TYPE_UINT32: "uint32", FD.TYPE_INT32: "int32", FD.TYPE_BOOL: "bool", FD.TYPE_FLOAT: "float",
         FD.TYPE_ENUM: "enum", FD.TYPE_STRING: "string", FD.TYPE_BYTES: "bytes", FD.TYPE_MESSAGE: "message"}


def proto_field_lists(schema):
    lists = {}
    for message in schema.records():
        lists[message.name] = [
            (f.number, f.name, f.json_name, KINDS.get(f.type, f"type {f.type}"), f.is_repeated,
             f.message_type.name if f.message_type else f.enum_type.name if f.enum_type else "-")
            for f in sorted(message.fields, key=lambda f: f.number)
        ]
    return lists


def disagreements(ours, schema):
    """Every message and enumeration on which our tables and the .proto differ."""
    messages, enums = ours
    theirs = proto_field_lists(schema)
    problems = [f"message {name}: ours {messages.get(name)} proto {theirs.get(name)}"
                for name in sorted(set(messages) | set(theirs)) if messages.get(name) != theirs.get(name)]
    their_enums = {e.name: [(v.number, v.name) for v in e.values] for e in schema.enums()}
    for name in sorted(set(enums) | set(their_enums)):
        mine, proto = enums.get(name, []), their_enums.get(name, [])
        # "-": a number without protocol name (PpgChip 0); only the number must match.
        same = len(mine) == len(proto) and all(
            n == pn and (p == "-" or p == pname) for (n, p, _), (pn, pname) in zip(mine, proto))
        if not same:
            problems.append(f"enum {name}: ours {mine} proto {proto}")
    return problems


def test_field_lists_and_enumerations_agree_with_the_proto(codec, schema):
    ours = codec.schema()
    messages, enums = ours
    assert len(messages) == 42
    assert sum(len(fields) for fields in messages.values()) == 198
    assert len(enums) == 26
    assert disagreements(ours, schema) == []


def test_enumerations_sit_alone_in_their_scope_messages(schema):
    for scope in schema.file.message_types_by_name.values():
        if scope.name.endswith("Scope"):
            assert [e.name + "Scope" for e in scope.enum_types] == [scope.name]
            assert not scope.fields


def test_the_unpacked_variant_really_unpacks(schema, unpacked_schema):
    for name, field in [("ImuData", "euler_raw_data"), ("MagData", "mag_correction_data"),
                        ("PortStat", "box_sensor_list")]:
        assert schema.descriptor(name).fields_by_name[field].is_packed
        assert not unpacked_schema.descriptor(name).fields_by_name[field].is_packed


# (what, text in ovik.proto, replacement, the message or enum that must be reported)
TYPOS = [
    ("field name", "float gyro_coefficient = 5;", "float gyro_coeficient = 5;", "message ImuConfResp"),
    ("field number", "HallResp hall_resp = 25;", "HallResp hall_resp = 26;", "message ControlBoxToApp"),
    ("signedness", "int32 green1 = 1;", "sint32 green1 = 1;", "message RawData"),
    ("unsigned for signed", "int32 ir = 3;", "uint32 ir = 3;", "message RawData"),
    ("repetition", "repeated bytes channel_adc_value = 4;", "bytes channel_adc_value = 4;", "message AfeData"),
    ("sub-message type", "Xyz mag_local_field = 2;", "UsbInfo mag_local_field = 2;", "message MagCalibration"),
    ("enum type", "PpgUrScope.PpgUr report_rate = 2;", "PpgModeScope.PpgMode report_rate = 2;",
     "message PpgData"),
    ("enum value name", "PORT_F = 6;", "PORT_G = 6;", "enum CtrlBoxPort"),
    ("enum value number", "SENS_FLEX = 4;", "SENS_FLEX = 5;", "enum BoxSensorType"),
    ("missing field", "  uint32 sensor_features = 8;\n", "", "message DeviceInfo"),
]


@pytest.mark.parametrize("what,text,replacement,reported", TYPOS, ids=[t[0] for t in TYPOS])
def test_the_agreement_check_catches_a_typo(codec, tmp_path, proto_text, what, text, replacement, reported):
    assert proto_text.count(text) >= 1, what
    broken = compile_schema(tmp_path, proto_text.replace(text, replacement, 1))
    problems = disagreements(codec.schema(), broken)
    assert [p.split(":")[0] for p in problems] == [reported]
