"""The official runtime's encodings read by our decoder: random messages of
every top-level type, with unknown fields of every wire type (groups too) that
the runtime keeps, in the packed and in the unpacked form of repeated floats
and enumerations."""
import collections
import random

import pytest

from oracle_records import WIRE_TYPES, add_unknown_fields, fill, record_text
from oracle_schema import TOP_LEVEL

COUNT = 1500


@pytest.mark.parametrize("packing", ["packed", "unpacked"])
@pytest.mark.parametrize("name", TOP_LEVEL)
def test_we_read_the_official_runtimes_encodings(codec, schema, unpacked_schema, name, packing):
    chosen = schema if packing == "packed" else unpacked_schema
    rng = random.Random(f"decode-{packing}-{name}")
    message_class = chosen.message_class(name)
    payloads, expected = [], []
    unknown_wire_types = collections.Counter()
    for _ in range(COUNT):
        message = fill(rng, message_class())
        expected.append(record_text(message))
        plain = message.SerializeToString()
        unknown_wire_types.update(add_unknown_fields(rng, message))
        payload = message.SerializeToString()
        assert len(payload) >= len(plain)
        payloads.append(payload)
    answers = codec.decode([(name, p) for p in payloads])
    for payload, text, answer in zip(payloads, expected, answers):
        assert answer == "ok " + text, payload.hex()
    assert set(unknown_wire_types) == set(WIRE_TYPES)
