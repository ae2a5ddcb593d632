"""Argument binding and conversion errors of the module's functions and classes."""

import pytest

import ovik_sdk.main_mod as m

OUT_OF_RANGE = "out of range integral type conversion attempted"


def parser():
    return m.MessageParser("dev", m.MsgType.Ovik)


# (call, exception class, exact text)
CASES = [
    (lambda: m.initialize_logging_py(), TypeError,
     "initialize_logging_py() missing 1 required positional argument: 'level'"),
    (lambda: m.MessageParser(), TypeError,
     "MessageParser.__new__() missing 2 required positional arguments: 'device_id' and 'msg_type'"),
    (lambda: parser().receive_data(data=b""), TypeError,
     "MessageParser.receive_data() missing 1 required positional argument: 'device_id'"),
    (lambda: m.CtrlBoxPort(), TypeError, "CtrlBoxPort.__new__() missing 1 required positional argument: 'value'"),
    (lambda: m.initialize_logging_py(lvl=m.LogLevel.Info), TypeError,
     "initialize_logging_py() got an unexpected keyword argument 'lvl'"),
    (lambda: parser().receive_data("dev", b"", chunk=1), TypeError,
     "MessageParser.receive_data() got an unexpected keyword argument 'chunk'"),
    (lambda: m.SamplingRate(1, value=1), TypeError, "SamplingRate.__new__() got multiple values for argument 'value'"),
    (lambda: m.initialize_logging_py(m.LogLevel.Info, True), TypeError,
     "initialize_logging_py() takes 1 positional arguments but 2 were given"),
    (lambda: parser().receive_data("dev", b"", 3), TypeError,
     "MessageParser.receive_data() takes 2 positional arguments but 3 were given"),
    (lambda: m.initialize_logging_py(2), TypeError, "argument 'level': 'int' object is not an instance of 'LogLevel'"),
    (lambda: m.initialize_logging_py(None), TypeError, "argument 'level': 'None' is not an instance of 'LogLevel'"),
    (lambda: m.initialize_logging_py(m.FusionMode.Imu6Axis), TypeError,
     "argument 'level': 'FusionMode' object is not an instance of 'LogLevel'"),
    (lambda: m.initialize_logging_with_file_py(m.LogLevel.Info, 1), TypeError,
     "argument 'enable_file_logging': 'int' object is not an instance of 'bool'"),
    (lambda: m.initialize_logging_with_file_py(m.LogLevel.Info, None), TypeError,
     "argument 'enable_file_logging': 'None' is not an instance of 'bool'"),
    (lambda: parser().receive_data(1, b"x"), TypeError,
     "argument 'device_id': 'int' object is not an instance of 'str'"),
    (lambda: parser().receive_data("dev", "text"), TypeError, "argument 'data': Can't extract `str` to `Vec`"),
    (lambda: parser().receive_data("dev", 5), TypeError,
     "argument 'data': 'int' object is not an instance of 'Sequence'"),
    (lambda: parser().receive_data("dev", [1, "a"]), TypeError,
     "argument 'data': 'str' object cannot be interpreted as an integer"),
    (lambda: parser().receive_data("dev", [1, 256]), OverflowError, OUT_OF_RANGE),
    (lambda: parser().receive_data("dev", [-1]), OverflowError, OUT_OF_RANGE),
    (lambda: m.SamplingRate(2.0), TypeError, "argument 'value': 'float' object cannot be interpreted as an integer"),
    (lambda: m.SamplingRate(m.SamplingRate.SAMPLING_RATE_25), TypeError,
     "argument 'value': 'ovik_sdk.main_mod.SamplingRate' object cannot be interpreted as an integer"),
    (lambda: m.SamplingRate(2**64), OverflowError, "Python int too large to convert to C long"),
    (lambda: m.MessageStream(), TypeError, "cannot create 'ovik_sdk.main_mod.MessageStream' instances"),
]


@pytest.mark.parametrize("index", range(len(CASES)))
def test_argument_errors(index):
    call, error, text = CASES[index]
    with pytest.raises(BaseException) as raised:
        call()
    assert (type(raised.value), str(raised.value)) == (error, text)


# Every function and method without parameters, as argument errors name it,
# and how to make its receiver (fresh for each call; no call may get past the
# binder to open, write or borrow anything).
PARAMETERLESS = [(f"{name}()", lambda: m, name) for name in [
    "get_usb_available_ports", "clear_flex_buffer", "clear_emg_buffer", "clear_imu_buffer", "clear_mag_buffer"]]
PARAMETERLESS += [("MessageParser.message_stream()", parser, "message_stream")]
PARAMETERLESS += [(f"{cls.__name__}.{name}()", lambda cls=cls: cls("/dev/null", 115200), name) for cls, names in [
    (m.SerialStream, ["close_serial_stream", "stop_data_stream"]),
    (m.OvikDevice, ["close_serial_stream", "stop_data_stream", "stop_stream", "get_device_info", "get_port_stat",
                    "get_sensor_cfg", "start_sensor_data_stream", "stop_sensor_data_stream", "get_dongle_info",
                    "get_dongle_pair_cfg", "get_dongle_pair_stat"]),
] for name in names]


@pytest.mark.parametrize("shown, receiver, name", PARAMETERLESS, ids=[shown for shown, _, _ in PARAMETERLESS])
def test_parameterless_callables_word_their_argument_errors_like_every_other(shown, receiver, name):
    calls = [
        (lambda f: f(1), f"{shown} takes 0 positional arguments but 1 was given"),
        (lambda f: f(1, None), f"{shown} takes 0 positional arguments but 2 were given"),
        (lambda f: f(x=1), f"{shown} got an unexpected keyword argument 'x'"),
        (lambda f: f(1, x=1), f"{shown} takes 0 positional arguments but 1 was given"),
    ]
    raised = []
    for call, _ in calls:
        with pytest.raises(BaseException) as error:
            call(getattr(receiver(), name))
        raised.append((type(error.value), str(error.value)))
    assert raised == [(TypeError, text) for _, text in calls]


def test_the_table_holds_every_parameterless_callable_but_get_sdk_version():
    public = [getattr(m, name) for name in m.__all__]
    found = {f"{f.__name__}()" for f in public if not isinstance(f, type) and f.__text_signature__ == "()"}
    found |= {f"{cls.__name__}.{name}()" for cls in public if isinstance(cls, type)
              for name, f in vars(cls).items() if getattr(f, "__text_signature__", None) == "($self)"}
    assert found == {shown for shown, _, _ in PARAMETERLESS} | {"get_sdk_version()"}


def test_a_renamed_type_error_keeps_the_original_as_its_cause():
    with pytest.raises(TypeError) as raised:
        m.SamplingRate("2")
    assert str(raised.value) == "argument 'value': 'str' object cannot be interpreted as an integer"
    assert (type(raised.value.__cause__), str(raised.value.__cause__)) == (
        TypeError, "'str' object cannot be interpreted as an integer")


def test_numpy_values_convert_like_their_python_values():
    numpy = pytest.importorskip("numpy")
    assert m.CtrlBoxPort(numpy.int64(257)) == m.CtrlBoxPort.PORT_A
    with pytest.raises(TypeError) as raised:
        m.initialize_logging_with_file_py(m.LogLevel.Info, numpy.int64(1))
    assert str(raised.value) == "argument 'enable_file_logging': 'int64' object is not an instance of 'bool'"


def test_signatures_of_the_classes():
    assert m.MessageParser.__text_signature__ == "(device_id, msg_type)"
    assert m.MessageParser.receive_data.__text_signature__ == "($self, device_id, data)"
    assert m.MessageParser.message_stream.__text_signature__ == "($self)"


# Shapes and conversions no public function has yet, through the binder probe `p`.
PROBE_CASES = [
    (lambda p: p.required3(), TypeError, "required3() missing 3 required positional arguments: 'a', 'b', and 'c'"),
    (lambda p: p.required3(1, c=3), TypeError, "required3() missing 1 required positional argument: 'b'"),
    (lambda p: p.keyword_only(1), TypeError, "keyword_only() missing 2 required keyword arguments: 'flag' and 'mode'"),
    (lambda p: p.keyword_only(1, mode=2), TypeError, "keyword_only() missing 1 required keyword argument: 'flag'"),
    (lambda p: p.keyword_only(1, 2), TypeError, "keyword_only() takes 1 positional arguments but 2 were given"),
    (lambda p: p.optional(1, 2, 3, 4), TypeError, "optional() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda p: p.Counter(1, 2), TypeError, "Counter.__new__() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda p: p.Counter().increment(step=1), TypeError, "Counter.increment() got an unexpected keyword argument 'step'"),
    (lambda p: p.Counter().absorb(None), TypeError, "argument 'other': 'None' is not an instance of 'Counter'"),
    (lambda p: p.to_u32(1.0), TypeError, "argument 'x': 'float' object cannot be interpreted as an integer"),
    (lambda p: p.to_triple([1, 2, "z"]), TypeError, "argument 'x': must be real number, not str"),
    (lambda p: p.to_rows("abc"), TypeError, "argument 'x': Can't extract `str` to `Vec`"),
    (lambda p: p.to_u8(256), OverflowError, OUT_OF_RANGE),
    (lambda p: p.to_u16(65536), OverflowError, OUT_OF_RANGE),
    (lambda p: p.to_u32(2**32), OverflowError, OUT_OF_RANGE),
    (lambda p: p.to_u32(-1), OverflowError, OUT_OF_RANGE),
    (lambda p: p.to_i32(2**31), OverflowError, OUT_OF_RANGE),
    (lambda p: p.to_u32(2**64), OverflowError, "Python int too large to convert to C long"),
    (lambda p: p.to_i64(2**63), OverflowError, "Python int too large to convert to C long"),
    (lambda p: p.to_u64(-1), OverflowError, "can't convert negative int to unsigned"),
    (lambda p: p.to_usize(2**64), OverflowError, "int too big to convert"),
    (lambda p: p.Counter().__setattr__("count", -1), OverflowError, OUT_OF_RANGE),
    (lambda p: p.to_triple([1, 2]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda p: p.to_rows([[1, 2, 3], [1, 2, 3, 4]]), ValueError, "expected a sequence of length 3 (got 4)"),
    (lambda p: p.Counter().__delattr__("count"), AttributeError, "property has no deleter"),
    (lambda p: p.Counter().__setattr__("count", "many"), TypeError,
     "argument 'count': 'str' object cannot be interpreted as an integer"),
]


@pytest.mark.parametrize("index", range(len(PROBE_CASES)))
def test_probe_argument_errors(probe, index):
    call, error, text = PROBE_CASES[index]
    with pytest.raises(BaseException) as raised:
        call(probe)
    assert (type(raised.value), str(raised.value)) == (error, text)


def test_probe_accepted_arguments(probe):
    assert [probe.optional(1), probe.optional(1, c=3), probe.keyword_only(1, flag=2, mode=3)] == [
        (1, None, None), (1, None, 3), (1, 2, None, 3)]
    assert [probe.to_u8(True), probe.to_i32(-(2**31)), probe.to_i64(-(2**63)), probe.to_u64(2**64 - 1)] == [
        1, -(2**31), -(2**63), 2**64 - 1]
    assert probe.to_triple((1, 2.5, -3)) == [1.0, 2.5, -3.0] and probe.to_triple(None) is None
    assert probe.to_rows([[1, 0, 0.1], (0, 1, 0)]) == [[1.0, 0.0, 0.10000000149011612], [0.0, 1.0, 0.0]]
    assert probe.optional.__text_signature__ == "(a, b=None, c=5)"
    assert probe.keyword_only.__text_signature__ == "(a, *, flag, extra=None, mode)"
    assert probe.Counter.__text_signature__ == "(start=0)"
    assert probe.Counter.increment.__text_signature__ == "($self, by=1)"
    assert (probe.Counter.increment.__doc__, probe.Counter.value.__doc__) == ("Adds to it.", None)
