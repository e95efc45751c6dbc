// The real panel reads kolvane-sim's result stream: the reading display
// follows the gate time chosen on the panel.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdint>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/gui/real_panel.h"

namespace kolvane::test {
namespace {

// First counts of the 4-byte results the simulator wrote after the last
// time it received `frame` (as its log shows frames).
std::vector<std::uint32_t> CountsSentAfter(const SimProcess& sim, const std::string& frame) {
  std::vector<std::uint32_t> counts;
  for (const std::string& line : sim.Log()) {
    std::istringstream in(line);
    std::string kind, ms, first;
    in >> kind >> ms;
    if (kind == "RX" && line.substr(line.find(' ', 3) + 1) == frame) counts.clear();
    if (kind != "TX" || !(in >> first) || first != "47") continue;
    std::vector<unsigned> bytes;
    for (std::string hex; in >> hex;) bytes.push_back(std::stoul(hex, nullptr, 16));
    if (bytes.size() != 4) continue;
    counts.push_back(bytes[0] << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3]);
  }
  return counts;
}

// A count shown with `decimals` places, one count a unit of the last digit.
std::string FrequencyText(std::uint32_t count, int decimals) {
  std::string digits = std::to_string(count);
  if (decimals > 0) {
    if (digits.size() <= static_cast<std::size_t>(decimals)) {
      digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
  }
  return " " + digits + " kHz" + std::string(17, ' ');
}

TEST(PanelReadings, TheReadingFollowsTheGate) {
  // Channel A carries about 12.345678 kHz; a ten times longer gate counts
  // ten times more and shows one decimal more.
  struct Case {
    int radio;
    const char* frame;
    int decimals;
    const char* looksLike;
  };
  const Case kCases[] = {
      {ids::kGate1, R"(T1\x0D)", 0, R"( 1[23] kHz {17})"},
      {ids::kGate1 + 3, R"(T4\x0D)", 3, R"( 12\.34[56] kHz {17})"},
      {ids::kGate1 + 1, R"(T2\x0D)", 1, R"( 12\.[34] kHz {17})"},
      {ids::kGate5, R"(T5\x0D)", 4, R"( 12\.345[5-8] kHz {17})"},
      {ids::kGate1 + 2, R"(T3\x0D)", 2, R"( 12\.3[45] kHz {17})"},
  };
  SimProcess sim({}, 1);
  ASSERT_TRUE(sim.Ready());
  RealPanel p;
  RunPanel(
      p, [](qt::QtDialogWindow& w) { return WaitForReading(w); },
      [&](qt::QtDialogWindow& w) {
        std::string before = w.GetText(ids::kReadingDisplay);
        EXPECT_TRUE(std::regex_match(before, std::regex(R"( 12\.3[45] kHz {17})"))) << before;
        for (const Case& c : kCases) {
          SCOPED_TRACE(c.frame);
          ClickControl(w.Widget(), c.radio);
          // A reading of a result counted with the new gate.
          std::string shown;
          const bool fresh = QTest::qWaitFor(
              [&] {
                shown = w.GetText(ids::kReadingDisplay);
                for (std::uint32_t n : CountsSentAfter(sim, c.frame)) {
                  if (shown == FrequencyText(n, c.decimals)) return true;
                }
                return false;
              },
              1000);
          EXPECT_TRUE(fresh) << shown;
          EXPECT_TRUE(std::regex_match(shown, std::regex(c.looksLike))) << shown;
          EXPECT_NE(shown, before);
          before = shown;
        }
      });
}

}  // namespace
}  // namespace kolvane::test
