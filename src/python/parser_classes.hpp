#pragma once
// MessageParser and MessageStream: the frame parser for Python, and an
// asynchronous iterator over its results as JSON bytes.
#include <memory>

#include "proto/message_parser.hpp"
#include "python/py/class_builder.hpp"
#include "python/result_reader.hpp"

namespace ovik::python {

// One subscription to a parser's results, shared by every holder: an item
// taken through one holder is not seen by another.
using ResultStream = std::shared_ptr<ResultReader>;

// A copy of a MessageParser object's state: its own parser (with the bytes
// waiting at that moment) publishing on the same channel, and the same
// result stream. Devices and serial streams feed such copies.
struct ParserCopy {
  proto::MessageParser parser;
  ResultStream result_stream;
};

struct ParserObject {
  std::unique_ptr<proto::MessageParser> parser;
  ResultStream result_stream;

  ParserCopy copy() const { return {*parser, result_stream}; }
  static py::ClassSpec class_spec();
};

struct StreamObject {
  ResultStream result_stream;
  static py::ClassSpec class_spec();
};

}  // namespace ovik::python
