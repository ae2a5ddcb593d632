#include "python/device/link_class.hpp"

namespace ovik::python {

py::Ref open_link(LinkState& link, const py::Arguments& args) {
  ParserCopy parser = args.get<py::Exclusive<ParserObject>>(0)->copy();
  return into_future(open_serial_stream_task(connect_request(link, std::move(parser))));
}

py::Ref close_link(LinkState& link) {
  if (link.cancel_token) link.cancel_token->cancel();
  link.cancel_token.reset();
  return into_future(close_link_task(link.writer, link.listener));
}

}  // namespace ovik::python
