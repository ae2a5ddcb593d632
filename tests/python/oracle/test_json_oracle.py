"""Our JSON text judged by the official runtime: for random messages without
NaN, infinities or enumeration numbers outside their enumeration,
json.loads of our text equals MessageToDict of the same message (floats
compared as 32-bit values), with the keys in field-number order; our base64
equals Python's.

Our text comes from the schema codec tool: it decodes the official runtime's
encoding with our decoder and renders it."""
import base64
import json
import math
import random
import re
import struct

import pytest
from google.protobuf.descriptor import FieldDescriptor as FD
from google.protobuf.json_format import MessageToDict

from oracle_records import fill, float_from_bits
from oracle_schema import TOP_LEVEL

COUNT = 1500
JSON_STRING = re.compile(r'"(?:[^"\\]|\\.)*"')


def finite_float(rng):
    while True:
        value = float_from_bits(rng.getrandbits(32))
        if math.isfinite(value):
            return value


def member(rng, field, number):
    numbers = [v.number for v in field.enum_type.values]
    return number if number in numbers else rng.choice(numbers)


def renderable(rng, message):
    """Replaces NaN, infinities and enumeration numbers without a name, which
    only our rendering and the official one treat differently."""
    for field in message.DESCRIPTOR.fields:
        value = getattr(message, field.name)
        if field.type == FD.TYPE_MESSAGE:
            subs = value if field.is_repeated else ([value] if message.HasField(field.name) else [])
            for sub in subs:
                renderable(rng, sub)
        elif field.type in (FD.TYPE_FLOAT, FD.TYPE_ENUM):
            fix = (lambda v: v if math.isfinite(v) else finite_float(rng)) if field.type == FD.TYPE_FLOAT \
                else (lambda v: member(rng, field, v))
            if field.is_repeated:
                value[:] = [fix(v) for v in value]
            else:
                setattr(message, field.name, fix(value))
    return message


def expected_dict(message):
    """MessageToDict, less the one value we write differently by design: a
    single float field of -0.0 is left out like 0.0 (the official runtime
    writes it)."""
    expected = MessageToDict(message)
    drop_negative_zeros(message, expected)
    return expected


def drop_negative_zeros(message, tree):
    for field in message.DESCRIPTOR.fields:
        if field.json_name not in tree:
            continue
        value = getattr(message, field.name)
        if field.type == FD.TYPE_MESSAGE:
            subs = list(value) if field.is_repeated else [value]
            for sub, sub_tree in zip(subs, tree[field.json_name] if field.is_repeated else [tree[field.json_name]]):
                drop_negative_zeros(sub, sub_tree)
        elif field.type == FD.TYPE_FLOAT and not field.is_repeated and value == 0.0:
            del tree[field.json_name]


def as_float32(tree):
    """Every float as its 32-bit pattern, so that 0.1 from our shortest digits
    and 0.10000000149011612 compare equal when they are one float."""
    if isinstance(tree, dict):
        return {key: as_float32(value) for key, value in tree.items()}
    if isinstance(tree, list):
        return [as_float32(value) for value in tree]
    if isinstance(tree, float):
        return ("f32", struct.pack("<f", tree))
    return tree


def keys_in_field_order(descriptor, text_tree):
    """The keys of every object of our text come in field-number order."""
    numbers = {f.json_name: f.number for f in descriptor.fields}
    keys = [key for key, _ in text_tree]
    assert [numbers[k] for k in keys] == sorted(numbers[k] for k in keys), keys
    for key, value in text_tree:
        field = descriptor.fields_by_camelcase_name[key]
        if field.type != FD.TYPE_MESSAGE:
            continue
        for sub in value if field.is_repeated else [value]:
            keys_in_field_order(field.message_type, sub)


@pytest.mark.parametrize("name", TOP_LEVEL)
def test_our_json_equals_message_to_dict(codec, schema, name):
    rng = random.Random(f"json-{name}")
    message_class = schema.message_class(name)
    messages = [renderable(rng, fill(rng, message_class())) for _ in range(COUNT)]
    answers = codec.json([(name, m.SerializeToString()) for m in messages])
    for message, answer in zip(messages, answers):
        kind, _, text = answer.partition(" ")
        assert kind == "json", answer
        ours = json.loads(text)
        assert as_float32(ours) == as_float32(expected_dict(message)), text
        keys_in_field_order(message.DESCRIPTOR, json.loads(text, object_pairs_hook=list))


def test_compact_text(codec, schema):
    """No blank or line break outside strings: with the strings taken out,
    the text has none left."""
    rng = random.Random("compact")
    message_class = schema.message_class("SensorApp")
    messages = [renderable(rng, fill(rng, message_class(), presence=0.9)) for _ in range(200)]
    for answer in codec.json([("SensorApp", m.SerializeToString()) for m in messages]):
        kind, _, text = answer.partition(" ")
        assert kind == "json", answer
        outside_strings = JSON_STRING.sub("", text)
        assert not any(c in outside_strings for c in " \t\r\n"), text


def test_base64_equals_pythons(codec, schema):
    rng = random.Random("base64")
    ota_data = schema.message_class("OtaData")
    chunks = [rng.randbytes(n) for n in range(1, 70)] + [bytes(range(256)), b"\xfb\xff", b"\xff" * 3]
    answers = codec.json([("OtaData", ota_data(data=chunk).SerializeToString()) for chunk in chunks])
    for chunk, answer in zip(chunks, answers):
        assert answer == 'json {"data":"' + base64.b64encode(chunk).decode() + '"}'


def test_the_random_messages_reach_every_kind_of_value(codec, schema):
    """Our texts of the random messages hold every awkward form, or the
    comparison above would pass vacuously."""
    rng = random.Random("json-coverage")
    items = [(name, renderable(rng, fill(rng, schema.message_class(name)())).SerializeToString())
             for name in TOP_LEVEL for _ in range(300)]
    texts = " ".join(codec.json(items))
    for needle in ['":-', 'e-', 'e+', ',-0.0', '":true', '":{}', '\\"', '\\u0000', '\\t', '=",', '"",',
                   '"SENS_NONE"', '":[{}', ':4294967295', ':-2147483648']:
        assert needle in texts, needle
