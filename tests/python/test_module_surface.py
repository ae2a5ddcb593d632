"""The module's public names, their kinds and text signatures; the filter-state classes."""

import ctypes
import re
import types

import pytest

import ovik_sdk.main_mod as m

# `__all__` in order. CamelCase names are classes, the others functions; a
# parameter list after a name is its text signature.
SURFACE = [(name, " ".join(signature.split()) or None) for name, signature in re.findall(r"(\w+)(\([^)]*\))?", """
LogLevel MessageParser(device_id, msg_type) MessageStream SerialStream(port_name, baudrate) OvikDevice(port_name, baudrate)
SensorProfile(flex_rate=None, imu_rate=None, imu_data_type=None, emg_rate=None, emg_channel_bits=None, mag_rate=None,
  mag_data_type=None) DfuState DfuProgress LowPassFilter HighPassFilter BandPassFilter BandStopFilter get_sdk_version()
initialize_logging_py(level) initialize_logging_with_file_py(level, enable_file_logging) available_usb_ports(vid, pid)
get_usb_available_ports() perform_serial_dfu_py(port_name, firmware_path, on_progress=None, chunk_size=512,
  response_timeout_ms=10000, start_timeout_ms=30000, reboot_delay_secs=10, via_mcu=False, verbose=False)
MsgType(value) NoiseTypes(value) DownsamplingOperations(value) SamplingRate(value) AfeSampleRate(value)
ImuSampleRate(value) ImuMode(value) MagSampleRate(value) UploadDataType(value) CtrlBoxPort(value) FusionMode
set_msg_resp_callback(func) set_flex_data_callback(func) set_emg_data_callback(func) set_imu_data_callback(func)
set_mag_data_callback(func) set_imu_calibration_data_callback(func) set_mag_calibration_data_callback(func)
set_euler_data_callback(func) set_quaternion_data_callback(func) set_flex_buffer_cfg(buff_len)
set_emg_buffer_cfg(buff_len) set_imu_buffer_cfg(imu_buffer_len) set_mag_buffer_cfg(mag_buffer_len) clear_flex_buffer()
clear_emg_buffer() clear_imu_buffer() clear_mag_buffer() get_flex_buffer(take, clean) get_emg_buffer(take, clean)
get_imu_buffer(take, clean) get_mag_buffer(take, clean) get_imu_calibration_buff(take, clean)
get_mag_calibration_buff(take, clean) get_euler_buffer(take, clean) get_quaternion_buffer(take, clean) set_fusion_mode(mode)
""")]


def test_all_holds_every_public_name_in_order_with_its_kind_and_text_signature():
    def shown(name, value):
        kind = "class" if isinstance(value, type) else type(value).__name__
        return name, kind, getattr(value, "__text_signature__", None)

    assert len(SURFACE) == 55
    expected = [(name, "class" if name[0].isupper() else "builtin_function_or_method", sig) for name, sig in SURFACE]
    assert [shown(name, getattr(m, name, None)) for name in m.__all__] == expected
    assert {name for name in vars(m) if not name.startswith("_")} == set(m.__all__)
    assert [name for name, kind, _ in expected if kind != "class" and getattr(m, name).__doc__ is not None] == []


SIX = ["a", "d1", "d2", "w0", "w1", "w2"]
TEN = ["a", "d1", "d2", "d3", "d4", "w0", "w1", "w2", "w3", "w4"]


@pytest.mark.parametrize("name,fields", [
    ("LowPassFilter", SIX), ("HighPassFilter", SIX), ("BandPassFilter", TEN), ("BandStopFilter", TEN + ["r", "s"]),
])
def test_filter_class_has_read_only_float_fields_in_order_and_no_constructor(name, fields):
    cls = getattr(m, name)
    assert [key for key, value in vars(cls).items() if isinstance(value, types.GetSetDescriptorType)] == fields
    assert cls.__doc__ is None
    with pytest.raises(TypeError, match=rf"^cannot create 'ovik_sdk\.main_mod\.{name}' instances$"):
        cls()
    # An instance from the class's own allocator, its doubles (which end the
    # object) set here.
    alloc = ctypes.pythonapi.PyType_GenericAlloc
    alloc.restype, alloc.argtypes = ctypes.py_object, [ctypes.py_object, ctypes.c_ssize_t]
    instance = alloc(cls, 0)
    values = [index + 0.25 for index in range(len(fields))]
    (ctypes.c_double * len(fields)).from_address(id(instance) + cls.__basicsize__ - 8 * len(fields))[:] = values
    assert [getattr(instance, field) for field in fields] == values
    with pytest.raises(AttributeError, match=rf"^attribute 'a' of 'ovik_sdk\.main_mod\.{name}' objects is not writable$"):
        instance.a = 1.0
