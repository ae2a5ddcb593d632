"""The module's public surface: the filter-state classes."""

import ctypes
import types

import pytest

import ovik_sdk.main_mod as m

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
    assert {type(getattr(instance, field)) for field in fields} == {float}
    refused = rf"^attribute 'a' of 'ovik_sdk\.main_mod\.{name}' objects is not writable$"
    for change in (lambda: setattr(instance, "a", 1.0), lambda: delattr(instance, "a")):
        with pytest.raises(AttributeError, match=refused):
            change()
    assert instance.a == 0.25
