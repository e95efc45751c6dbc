// Cuts a connection's bytes into program messages. A line ends with LF; a
// CR just before it belongs to the terminator. A line longer than kMaxLine
// is reported once as an overrun and the rest of it, up to the next LF, is
// dropped, so a connection never holds more than about kMaxLine of input.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane::server {

class LineSplitter {
 public:
  static constexpr std::size_t kMaxLine = 64 * 1024;

  struct Item {
    enum Kind { kLine, kOverrun };
    Kind kind = kLine;
    std::string text;  // the line without its terminator
  };

  // Appends every item that `bytes` completes to *out, in order.
  void Feed(std::string_view bytes, std::vector<Item>* out);
  // Bytes of the line not yet ended.
  std::size_t Partial() const { return partial_.size(); }

 private:
  std::string partial_;
  bool dropping_ = false;
};

}  // namespace kolvane::server
