#include "python/dfu_progress_class.hpp"

#include <fmt/format.h>

#include "python/enum_classes.hpp"
#include "python/py/enum_class.hpp"

namespace ovik::python {

namespace {

using py::Ref;
using Self = py::Shared<ProgressObject>;

Ref to_python(std::uint32_t value) { return py::to_uint(value); }
Ref to_python(double value) { return py::to_float(value); }
Ref to_python(const std::string& text) { return py::to_str(text); }
Ref to_python(const std::optional<double>& value) { return value ? py::to_float(*value) : py::none(); }
// The shared member object: `progress.state is DfuState.Uploading`.
Ref to_python(dfu::DfuState state) { return py::enum_member<kDfuState>(static_cast<std::uint8_t>(state)); }

template <auto Field>
Ref field(Self& self) {
  return to_python(self->record.*Field);
}

PyObject* repr_slot(PyObject* self) {
  return py::boundary_object([&] {
    Self progress(self);
    const dfu::DfuProgress& record = progress->record;
    // Member names are declared in value order.
    const std::string_view state = kDfuState.members[static_cast<std::size_t>(record.state)].name;
    return py::to_str(fmt::format("DfuProgress(state={}, percentage={:.1f}, uploaded_bytes={}, total_bytes={})", state,
                                  record.percentage, record.uploaded_bytes, record.total_bytes));
  });
}

}  // namespace

py::ClassSpec ProgressObject::class_spec() {
  using dfu::DfuProgress;
  py::ClassSpec spec;
  spec.name = "DfuProgress";
  spec.properties = {
      py::getter<field<&DfuProgress::state>>("state"),
      py::getter<field<&DfuProgress::total_bytes>>("total_bytes"),
      py::getter<field<&DfuProgress::uploaded_bytes>>("uploaded_bytes"),
      py::getter<field<&DfuProgress::chunks_sent>>("chunks_sent"),
      py::getter<field<&DfuProgress::total_chunks>>("total_chunks"),
      py::getter<field<&DfuProgress::md5>>("md5"),
      py::getter<field<&DfuProgress::sha256>>("sha256"),
      py::getter<field<&DfuProgress::percentage>>("percentage"),
      py::getter<field<&DfuProgress::speed_kbps>>("speed_kbps"),
      py::getter<field<&DfuProgress::eta_secs>>("eta_secs"),
      py::getter<field<&DfuProgress::message>>("message"),
  };
  spec.slots = {{Py_tp_repr, reinterpret_cast<void*>(repr_slot)}};
  return spec;
}

}  // namespace ovik::python
