"""Random messages of the schema for the official runtime, their record text
(the tool's format, see schema_codec_tool.cpp), and unknown fields."""
import math
import struct

from google.protobuf.descriptor import FieldDescriptor as FD

U32_EDGES = [0, 1, 127, 128, 300, 16383, 16384, 2**31 - 1, 2**31, 2**32 - 1]
I32_EDGES = [0, 1, -1, -5, 127, -128, 2**31 - 1, -(2**31)]
# Zeroes of both signs, one, infinities, the canonical NaN, denormals, extremes.
FLOAT_EDGES = [0x00000000, 0x80000000, 0x3F800000, 0xBF800000, 0x7F800000, 0xFF800000, 0x7FC00000,
               0x00000001, 0x807FFFFF, 0x7F7FFFFF, 0x3DCCCCCD]
CANONICAL_NAN = 0x7FC00000
# Text from every UTF-8 length, astral characters included.
ALPHABET = "aZ09 _\t\"\\\x00\x7f\u00e9\u00ff\u0100\u07ff\u0800\u20ac\ud7ff\ue000\uffff\U00010000\U0001f600\U0010ffff"


def float_from_bits(bits):
    return struct.unpack("<f", struct.pack("<I", bits))[0]


def float_bits(value):
    return struct.unpack("<I", struct.pack("<f", value))[0]


def random_float(rng):
    bits = rng.choice(FLOAT_EDGES) if rng.random() < 0.4 else rng.getrandbits(32)
    if math.isnan(float_from_bits(bits)):
        bits = CANONICAL_NAN  # other NaN payloads need not survive Python floats
    return float_from_bits(bits)


def random_enum(rng, enum):
    numbers = [v.number for v in enum.values]
    if rng.random() < 0.75:
        return rng.choice(numbers)
    gaps = [n for n in range(max(numbers) + 2) if n not in numbers]
    return rng.choice(gaps + [-1, -(2**31), 2**31 - 1, 1000])


def random_length(rng, common=(0, 1, 2, 3, 5), rare=(40, 200)):
    return rng.choice(rare) if rng.random() < 0.05 else rng.choice(common)


def random_scalar(rng, field):
    t = field.type
    if t == FD.TYPE_UINT32:
        return rng.choice(U32_EDGES) if rng.random() < 0.5 else rng.getrandbits(32)
    if t == FD.TYPE_INT32:
        return rng.choice(I32_EDGES) if rng.random() < 0.5 else rng.getrandbits(32) - 2**31
    if t == FD.TYPE_BOOL:
        return rng.random() < 0.5
    if t == FD.TYPE_FLOAT:
        return random_float(rng)
    if t == FD.TYPE_ENUM:
        return random_enum(rng, field.enum_type)
    if t == FD.TYPE_STRING:
        return "".join(rng.choice(ALPHABET) for _ in range(random_length(rng, (0, 1, 4, 12))))
    if t == FD.TYPE_BYTES:
        return rng.randbytes(random_length(rng, (0, 1, 6, 24)))
    raise AssertionError(f"no generator for {field.full_name}")


def fill(rng, message, presence=0.5):
    """Sets a random subset of the fields, recursively."""
    for field in message.DESCRIPTOR.fields:
        if rng.random() > presence:
            continue
        value = getattr(message, field.name)
        if field.type == FD.TYPE_MESSAGE:
            if field.is_repeated:
                for _ in range(random_length(rng, (0, 1, 2, 3), (20,))):
                    fill(rng, value.add(), presence)
            else:
                value.SetInParent()  # present even if it stays empty
                fill(rng, value, presence * 0.9)
        elif field.is_repeated:
            value.extend(random_scalar(rng, field) for _ in range(random_length(rng)))
        else:
            setattr(message, field.name, random_scalar(rng, field))
    return message


def scalar_text(field, value, singular, equal_zeros):
    t = field.type
    if t == FD.TYPE_BOOL:
        return "1" if value else "0"
    if t == FD.TYPE_FLOAT:
        bits = float_bits(value)
        if singular and equal_zeros and bits == 0x80000000:
            bits = 0
        return f"{bits:08x}"
    if t == FD.TYPE_STRING:
        return "x" + value.encode("utf-8").hex()
    if t == FD.TYPE_BYTES:
        return "x" + value.hex()
    return str(int(value))


def record_text(message, equal_zeros=False):
    """The message as record text. With equal_zeros, a single float field of
    -0.0 reads as 0.0, as message equality compares them."""
    parts = []
    for field in sorted(message.DESCRIPTOR.fields, key=lambda f: f.number):
        value = getattr(message, field.name)
        if field.type == FD.TYPE_MESSAGE:
            if field.is_repeated:
                text = "[" + " ".join(record_text(m, equal_zeros) for m in value) + "]"
            else:
                text = record_text(value, equal_zeros) if message.HasField(field.name) else "~"
        elif field.is_repeated:
            text = "[" + " ".join(scalar_text(field, v, False, equal_zeros) for v in value) + "]"
        else:
            text = scalar_text(field, value, True, equal_zeros)
        parts.append(f"{field.number}={text}")
    return "{" + " ".join(parts) + "}"


def varint(value):
    value &= 2**64 - 1
    out = bytearray()
    while value >= 0x80:
        out.append(value & 0x7F | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def unknown_field(rng, number, wire_type, depth=0):
    key = varint(number << 3 | wire_type)
    if wire_type == 0:
        return key + varint(rng.choice([0, 1, 300, 2**32, 2**64 - 1, rng.getrandbits(64)]))
    if wire_type == 1:
        return key + rng.randbytes(8)
    if wire_type == 2:
        body = rng.randbytes(rng.choice([0, 1, 5, 130]))
        return key + varint(len(body)) + body
    if wire_type == 5:
        return key + rng.randbytes(4)
    # A group: any field numbers inside, known ones too, and nested groups.
    inner = b""
    for _ in range(rng.randint(0, 3)):
        inner_type = rng.choice([0, 1, 2, 5] + ([3] if depth < 3 else []))
        inner += unknown_field(rng, rng.randint(1, 40), inner_type, depth + 1)
    return key + inner + varint(number << 3 | 4)


WIRE_TYPES = (0, 1, 2, 3, 5)


def add_unknown_fields(rng, message, chance=0.3):
    """Merges unknown fields of random wire types into the message and its
    present sub-messages; the runtime keeps them and writes them back out.
    Returns the wire types added."""
    added = []
    if rng.random() < chance:
        known = message.DESCRIPTOR.fields_by_number
        free = [n for n in range(1, 41) if n not in known] + [1000, 2**29 - 1]
        raw = b""
        for _ in range(rng.randint(1, 3)):
            wire_type = rng.choice(WIRE_TYPES)
            raw += unknown_field(rng, rng.choice(free), wire_type)
            added.append(wire_type)
        message.MergeFromString(raw)
    for field in message.DESCRIPTOR.fields:
        if field.type != FD.TYPE_MESSAGE:
            continue
        if field.is_repeated:
            for sub in getattr(message, field.name):
                added += add_unknown_fields(rng, sub, chance)
        elif message.HasField(field.name):
            added += add_unknown_fields(rng, getattr(message, field.name), chance)
    return added
