// The /readings page's messages, one a line; a line that is none becomes a
// reading, so that commands and readings interleave. What goes to the pages
// must stay a JSON object, and the CSV the logger's.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fuzz/expect.h"
#include "panel/web/readings_page.h"
#include "record/csv.h"

namespace {

using kolvane::fuzz::Expect;
using kolvane::fuzz::JsonObject;

kolvane::ShownReading ReadingOf(std::string_view bytes) {
  using namespace kolvane;
  unsigned char b[10] = {};
  std::memcpy(b, bytes.data(), std::min(bytes.size(), sizeof b));
  ShownReading s;
  s.kind = (b[0] & 7) == 0 ? ShownKind::Stop : ShownKind::Value;
  s.measureMode = 1 + b[1] % 12;
  s.reading.format.unit = static_cast<ReadingUnit>(b[2] % 5);
  s.reading.format.decimals = b[3] % 12;
  std::memcpy(&s.reading.value, b + 2, sizeof(double));
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  record::ReadingWindow window;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (std::int64_t n = 0; n < 64 && !input.empty(); ++n) {
    const std::size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    if (const auto command = web_panel::ParseReadingsCommand(line)) {
      for (const std::string& reply : web_panel::RunReadings(window, *command, n % 5 == 4)) {
        Expect(JsonObject(reply), "a reply that is not a JSON object");
      }
    } else {
      window.Add({ReadingOf(line), n * 7, n * 3});
    }
    Expect(JsonObject(web_panel::ReadingsMessage(window, false)), "a message that is not JSON");
    Expect(window.Rows() <= window.Size(), "more rows than the set's size");
  }
  Expect(window.Csv().starts_with(record::kCsvHeader), "a CSV without the logger's header");
  return 0;
}
