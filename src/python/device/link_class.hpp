#pragma once
// What OvikDevice and SerialStream share: the constructor and the four link
// methods, declared once for any payload `T` holding a `LinkState link` and
// naming its class in `T::kClassName`.
#include "python/bridge/awaitable.hpp"
#include "python/device/link.hpp"

namespace ovik::python {

// The synchronous parts of Open and Close; each returns the awaitable.
py::Ref open_link(LinkState& link, const py::Arguments& args);
py::Ref close_link(LinkState& link);

template <class T>
struct LinkClass {
  static constexpr py::Param kNewParams[] = {{"port_name"}, {"baudrate"}};
  static constexpr py::Param kParserParam[] = {{"py_parser"}};
  static constexpr py::Signature kNew{"__new__", T::kClassName, kNewParams};
  static constexpr py::Signature kOpen{"open_serial_stream", T::kClassName, kParserParam};
  static constexpr py::Signature kStartData{"start_data_stream", T::kClassName, kParserParam};
  static constexpr py::Signature kClose{"close_serial_stream", T::kClassName};
  static constexpr py::Signature kStopData{"stop_data_stream", T::kClassName};

  static py::Ref construct(PyTypeObject* cls, py::Arguments& args) {
    auto port_name = args.get<std::string>(0);
    auto baudrate = args.get<std::uint32_t>(1);
    return py::make_instance(cls, T{LinkState(std::move(port_name), baudrate)});
  }
  static py::Ref open(py::Exclusive<T>& self, py::Arguments& args) { return open_link(self->link, args); }
  static py::Ref close(py::Exclusive<T>& self, py::Arguments&) { return close_link(self->link); }

  // The class with its constructor and link methods; `T` adds its own.
  static py::ClassSpec spec() {
    py::ClassSpec spec;
    spec.name = T::kClassName;
    spec.constructor = &kNew;
    spec.new_function = py::constructor<kNew, construct>();
    spec.subclassable = true;
    spec.methods = {
        py::method<kOpen, open>(
            "Open the serial port and start the background parser. This does not send START_DATA_STREAM to "
            "firmware."),
        py::method<kStartData, open>("Legacy alias for open_serial_stream."),
        py::method<kClose, close>(
            "Close the serial reader/writer background task. This does not send STOP_DATA_STREAM to firmware."),
        py::method<kStopData, close>("Legacy alias for close_serial_stream."),
    };
    return spec;
  }
};

}  // namespace ovik::python
