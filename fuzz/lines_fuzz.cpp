// kolvane-scpi's cutting of a connection's bytes into lines. The input is a
// script: 0xFE k appends k KiB of 'a' (so that lines pass 64 KiB), 0xFD n
// ends the piece fed so far after n more bytes, any other byte is itself.
// Invariants: fed in pieces the items are those of a plain reference split;
// no line holds a LF or more than 64 KiB; the partial line stays bounded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/scpi/line_splitter.h"

namespace {

using kolvane::server::LineSplitter;

[[noreturn]] void Fail(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

// Every LF ends a line; one CR before it goes; longer than the limit is an
// overrun, reported as "\n" (no line can be that), and reported as soon as
// it is certain.
std::vector<std::string> Reference(const std::string& bytes) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t lf = bytes.find('\n'); lf != std::string::npos;
       start = lf + 1, lf = bytes.find('\n', start)) {
    std::string line = bytes.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line.size() > LineSplitter::kMaxLine ? "\n" : line);
  }
  // An unfinished line is known to be too long once it passes the limit by
  // more than a CR.
  if (bytes.size() - start > LineSplitter::kMaxLine + 1) out.push_back("\n");
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string all;
  std::vector<std::string> pieces(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFE && i + 1 < size) {
      const std::string filler(std::size_t{data[++i]} * 1024, 'a');
      pieces.back() += filler;
      all += filler;
    } else if (data[i] == 0xFD) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
      all += static_cast<char>(data[i]);
    }
  }
  LineSplitter splitter;
  std::vector<LineSplitter::Item> items;
  for (const std::string& p : pieces) {
    splitter.Feed(p, &items);
    if (splitter.Partial() > LineSplitter::kMaxLine + 1) Fail("the partial line is bounded");
  }
  std::vector<std::string> got;
  for (const auto& item : items) {
    if (item.kind == LineSplitter::Item::kOverrun) {
      got.push_back("\n");
      continue;
    }
    if (item.text.find('\n') != std::string::npos) Fail("no line holds a LF");
    if (item.text.size() > LineSplitter::kMaxLine) Fail("no line passes 64 KiB");
    got.push_back(item.text);
  }
  if (got != Reference(all)) Fail("the items are those of the reference split");
  return 0;
}
