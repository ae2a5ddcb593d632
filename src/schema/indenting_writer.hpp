#pragma once
// Text written line by line, each line indented by four spaces per level of
// nesting. A line's indentation is written when its first piece arrives, not
// when the previous line ends: the line that closes a nested value belongs to
// the outer level, and only the closer knows that.
#include <cstddef>
#include <string>

namespace ovik::schema {

class IndentingWriter {
 public:
  explicit IndentingWriter(std::string& out) : out_(out) {}

  // Where the next piece goes, a line that has just begun indented first.
  // Pieces hold no line feed; end_line() writes them.
  std::string& text() {
    if (at_line_start_) {
      out_.append(kSpacesPerLevel * depth_, ' ');
      at_line_start_ = false;
    }
    return out_;
  }

  void end_line() {
    out_ += '\n';
    at_line_start_ = true;
  }

  void indent() { ++depth_; }
  void outdent() { --depth_; }

 private:
  static constexpr std::size_t kSpacesPerLevel = 4;

  std::string& out_;
  std::size_t depth_ = 0;
  bool at_line_start_ = false;
};

}  // namespace ovik::schema
