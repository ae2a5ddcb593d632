#include "python/parser_classes.hpp"

#include <fmt/format.h>

#include "python/enum_classes.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

constexpr Param kNewParams[] = {{"device_id"}, {"msg_type"}};
constexpr Signature kParserNew{"__new__", "MessageParser", kNewParams};

Ref parser_new(PyTypeObject* cls, Arguments& args) {
  std::string device_id = args.get<std::string>(0);
  auto msg_type = static_cast<proto::MsgType>(args.get<py::Member<kMsgType>>(1).value);
  auto parser = std::make_unique<proto::MessageParser>(std::move(device_id), msg_type);
  auto stream = std::make_shared<ResultReader>(parser->subscribe());
  return py::make_instance(cls, ParserObject{std::move(parser), std::move(stream)});
}

constexpr Param kReceiveParams[] = {{"device_id"}, {"data"}};
constexpr Signature kReceiveData{"receive_data", "MessageParser", kReceiveParams};

// Decodes and publishes on the calling thread, keeping the interpreter lock.
Ref receive_data(py::Exclusive<ParserObject>& self, Arguments& args) {
  std::string device_id = args.get<std::string>(0);
  std::vector<std::uint8_t> data = args.get<std::vector<std::uint8_t>>(1);
  self->parser->receive_data(std::move(device_id), data);
  return py::none();
}

constexpr Signature kMessageStream{"message_stream", "MessageParser"};

Ref message_stream(py::Shared<ParserObject>& self, Arguments&) {
  return py::make_instance(StreamObject{self->result_stream});
}

// {"Ovik":<the message's JSON>} as bytes; the device id is not part of it.
py::Ref item_bytes(const ResultItem& item) {
  switch (item.status) {
    case runtime::RecvStatus::Value: {
      std::string text;
      text.reserve(128);
      text += "{\"Ovik\":";
      Result<void> written = proto::write_json(item.value->message, text);
      if (!written) throw Error("failed to render message as JSON: " + written.error().message());
      text += '}';
      return py::to_bytes(text);
    }
    case runtime::RecvStatus::Lagged:
      throw Error(fmt::format("Lagged({})", item.missed));
    default:
      throw Error("Stream ended unexpectedly");
  }
}

PyObject* aiter_slot(PyObject* self) {
  return py::boundary_object([&] { return Ref::borrow(self); });
}

PyObject* anext_slot(PyObject* self) {
  return py::boundary_object([&] {
    py::Exclusive<StreamObject> stream(self);
    return stream->result_stream->read(&item_bytes);
  });
}

}  // namespace

py::ClassSpec ParserObject::class_spec() {
  py::ClassSpec spec;
  spec.name = "MessageParser";
  spec.constructor = &kParserNew;
  spec.new_function = py::constructor<kParserNew, parser_new>();
  spec.methods = {py::method<kReceiveData, receive_data>(), py::method<kMessageStream, message_stream>()};
  return spec;
}

py::ClassSpec StreamObject::class_spec() {
  py::ClassSpec spec;
  spec.name = "MessageStream";
  spec.slots = {{Py_am_aiter, reinterpret_cast<void*>(aiter_slot)}, {Py_am_anext, reinterpret_cast<void*>(anext_slot)}};
  return spec;
}

}  // namespace ovik::python
