"""The argument binder: every argument error text, through the module and the probe."""

import pytest

import ovik_sdk.main_mod as m

# (call, exception class, exact text). `p` is the probe module.
CASES = [
    # missing arguments
    (lambda p: m.initialize_logging_py(), TypeError,
     "initialize_logging_py() missing 1 required positional argument: 'level'"),
    (lambda p: p.required2(), TypeError, "required2() missing 2 required positional arguments: 'a' and 'b'"),
    (lambda p: p.required2(b=1), TypeError, "required2() missing 1 required positional argument: 'a'"),
    (lambda p: p.required3(), TypeError,
     "required3() missing 3 required positional arguments: 'a', 'b', and 'c'"),
    (lambda p: p.required3(1, c=3), TypeError, "required3() missing 1 required positional argument: 'b'"),
    (lambda p: p.keyword_only(1), TypeError,
     "keyword_only() missing 2 required keyword arguments: 'flag' and 'mode'"),
    (lambda p: p.keyword_only(1, mode=2), TypeError,
     "keyword_only() missing 1 required keyword argument: 'flag'"),
    (lambda p: m.CtrlBoxPort(), TypeError,
     "CtrlBoxPort.__new__() missing 1 required positional argument: 'value'"),
    # unexpected keyword, multiple values
    (lambda p: m.initialize_logging_py(lvl=m.LogLevel.Info), TypeError,
     "initialize_logging_py() got an unexpected keyword argument 'lvl'"),
    (lambda p: p.Counter(begin=1), TypeError, "Counter.__new__() got an unexpected keyword argument 'begin'"),
    (lambda p: p.Counter().increment(step=1), TypeError,
     "Counter.increment() got an unexpected keyword argument 'step'"),
    (lambda p: p.required2(1, 2, a=3), TypeError, "required2() got multiple values for argument 'a'"),
    (lambda p: m.CtrlBoxPort(1, value=1), TypeError,
     "CtrlBoxPort.__new__() got multiple values for argument 'value'"),
    # too many positional arguments
    (lambda p: p.required2(1, 2, 3), TypeError, "required2() takes 2 positional arguments but 3 were given"),
    (lambda p: p.only_keywords(1), TypeError, "only_keywords() takes 0 positional arguments but 1 was given"),
    (lambda p: p.keyword_only(1, 2), TypeError, "keyword_only() takes 1 positional arguments but 2 were given"),
    (lambda p: p.optional(1, 2, 3, 4), TypeError,
     "optional() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda p: p.Counter(1, 2), TypeError, "Counter.__new__() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda p: p.Counter().increment(1, 2), TypeError,
     "Counter.increment() takes from 0 to 1 positional arguments but 2 were given"),
    # conversion failures, named after the parameter
    (lambda p: m.initialize_logging_py(2), TypeError,
     "argument 'level': 'int' object is not an instance of 'LogLevel'"),
    (lambda p: m.initialize_logging_py(None), TypeError, "argument 'level': 'None' is not an instance of 'LogLevel'"),
    (lambda p: p.to_colour(m.CtrlBoxPort.PORT_A), TypeError,
     "argument 'x': 'CtrlBoxPort' object is not an instance of 'Colour'"),
    (lambda p: p.Counter().absorb(5), TypeError, "argument 'other': 'int' object is not an instance of 'Counter'"),
    (lambda p: p.Counter().absorb(None), TypeError, "argument 'other': 'None' is not an instance of 'Counter'"),
    (lambda p: p.to_bool(1), TypeError, "argument 'x': 'int' object is not an instance of 'bool'"),
    (lambda p: p.to_bool(None), TypeError, "argument 'x': 'None' is not an instance of 'bool'"),
    (lambda p: p.to_str(b"x"), TypeError, "argument 'x': 'bytes' object is not an instance of 'str'"),
    (lambda p: p.to_u32("1"), TypeError, "argument 'x': 'str' object cannot be interpreted as an integer"),
    (lambda p: p.to_u32(1.0), TypeError, "argument 'x': 'float' object cannot be interpreted as an integer"),
    (lambda p: p.to_bytes("abc"), TypeError, "argument 'x': Can't extract `str` to `Vec`"),
    (lambda p: p.to_rows("abc"), TypeError, "argument 'x': Can't extract `str` to `Vec`"),
    (lambda p: p.to_bytes(5), TypeError, "argument 'x': 'int' object is not an instance of 'Sequence'"),
    (lambda p: p.to_bytes([1, "a"]), TypeError, "argument 'x': 'str' object cannot be interpreted as an integer"),
    (lambda p: p.to_triple(5), TypeError, "argument 'x': 'int' object is not an instance of 'Sequence'"),
    (lambda p: p.to_triple([1, 2, "z"]), TypeError, "argument 'x': must be real number, not str"),
    # integers out of range: narrow widths with the fixed text, 64-bit ones with the interpreter's
    (lambda p: p.to_u8(256), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.to_u8(-1), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.to_u16(65536), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.to_u32(2**32), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.to_u32(-1), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.to_i32(2**31), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.to_u32(2**64), OverflowError, "Python int too large to convert to C long"),
    (lambda p: p.to_i64(2**63), OverflowError, "Python int too large to convert to C long"),
    (lambda p: p.to_u64(-1), OverflowError, "can't convert negative int to unsigned"),
    (lambda p: p.to_usize(2**64), OverflowError, "int too big to convert"),
    (lambda p: p.to_bytes([1, 256]), OverflowError, "out of range integral type conversion attempted"),
    (lambda p: p.Counter().__setattr__("count", -1), OverflowError, "out of range integral type conversion attempted"),
    # sequence length
    (lambda p: p.to_triple([1, 2]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda p: p.to_rows([[1, 2, 3], [1, 2, 3, 4]]), ValueError, "expected a sequence of length 3 (got 4)"),
    # properties
    (lambda p: p.Counter().__delattr__("count"), AttributeError, "property has no deleter"),
    (lambda p: p.Counter().__setattr__("count", "many"), TypeError,
     "argument 'count': 'str' object cannot be interpreted as an integer"),
]


@pytest.mark.parametrize("index", range(len(CASES)))
def test_argument_errors(probe, index):
    call, error, text = CASES[index]
    with pytest.raises(BaseException) as raised:
        call(probe)
    assert type(raised.value) is error
    assert str(raised.value) == text


# (call, result) for arguments that bind and convert.
ACCEPTED = [
    (lambda p: p.required2(1, 2), (1, 2)),
    (lambda p: p.required2(b=2, a=1), (1, 2)),
    (lambda p: p.optional(1), (1, None, None)),
    (lambda p: p.optional(1, c=3), (1, None, 3)),
    (lambda p: p.keyword_only(1, flag=2, mode=3), (1, 2, None, 3)),
    (lambda p: p.defaulted(), 7),
    (lambda p: p.defaulted(x=8), 8),
    (lambda p: p.to_u8(255), 255),
    (lambda p: p.to_u8(True), 1),
    (lambda p: p.to_u32(4294967295), 4294967295),
    (lambda p: p.to_i32(-(2**31)), -(2**31)),
    (lambda p: p.to_i64(-(2**63)), -(2**63)),
    (lambda p: p.to_u64(2**64 - 1), 2**64 - 1),
    (lambda p: p.to_bool(True), True),
    (lambda p: p.to_str("é\u20ac"), "é\u20ac"),
    (lambda p: p.to_bytes(b"\x00\xff"), b"\x00\xff"),
    (lambda p: p.to_bytes(bytearray(b"ab")), b"ab"),
    (lambda p: p.to_bytes([0, 255]), b"\x00\xff"),
    (lambda p: p.to_bytes((1, True)), b"\x01\x01"),
    (lambda p: p.to_bytes(b""), b""),
    (lambda p: p.to_triple((1, 2.5, -3)), [1.0, 2.5, -3.0]),
    (lambda p: p.to_triple(None), None),
    (lambda p: p.to_rows([]), []),
    (lambda p: p.to_rows([[1, 0, 0], (0, 1, 0)]), [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0]]),
    (lambda p: p.to_colour(p.Colour(1)), 1),
]


@pytest.mark.parametrize("index", range(len(ACCEPTED)))
def test_accepted_arguments(probe, index):
    call, expected = ACCEPTED[index]
    assert call(probe) == expected


def test_numpy_scalars_and_arrays_convert_like_their_python_values(probe):
    numpy = pytest.importorskip("numpy")
    assert probe.to_u16(numpy.uint16(65535)) == 65535
    assert probe.to_bool(numpy.bool_(False)) is False
    assert probe.to_bool(numpy.bool_(True)) is True
    assert probe.to_bytes(numpy.array([7, 8], dtype=numpy.uint8)) == b"\x07\x08"
    assert probe.to_floats([0.1, 1, numpy.float32(2.5)]) == [0.10000000149011612, 1.0, 2.5]
    with pytest.raises(TypeError) as raised:
        probe.to_bool(numpy.int64(1))
    assert str(raised.value) == "argument 'x': 'int64' object is not an instance of 'bool'"


def test_a_renamed_type_error_keeps_the_original_as_its_cause(probe):
    with pytest.raises(TypeError) as raised:
        probe.to_u32("1")
    assert type(raised.value.__cause__) is TypeError
    assert str(raised.value.__cause__) == "'str' object cannot be interpreted as an integer"


@pytest.mark.parametrize("name,signature", [
    ("required2", "(a, b)"),
    ("optional", "(a, b=None, c=5)"),
    ("keyword_only", "(a, *, flag, extra=None, mode)"),
    ("nothing", "()"),
])
def test_text_signatures(probe, name, signature):
    assert getattr(probe, name).__text_signature__ == signature


def test_class_and_method_signatures_and_docstrings(probe):
    assert probe.Counter.__text_signature__ == "(start=0)"
    assert probe.Counter.increment.__text_signature__ == "($self, by=1)"
    assert probe.Counter.increment.__doc__ == "Adds to it."
    assert probe.Counter.value.__doc__ is None
