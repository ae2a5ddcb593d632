"""Our field lists and enumeration tables against ovik.proto as compiled by
protoc: every message, field number, name, JSON name, kind, repetition and
type, and every enumeration's numbers and protocol names."""
from google.protobuf.descriptor import FieldDescriptor as FD

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
