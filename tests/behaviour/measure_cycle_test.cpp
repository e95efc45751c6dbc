#include <gtest/gtest.h>

#include "tests/support/panel_harness.h"
#include "tests/support/panel_texts.h"

namespace kolvane::test {
namespace {

const std::string kKhz = " kHz" + std::string(17, ' ');
const std::string kBefore = "before";  // display text before the tick

// A running panel past its first readback, with a known display text.
struct Panel : PanelHarness {
  Panel() {
    InstrumentOn(1);
    Init();
    state.configRequested = 0;
    state.measureMode = 1;
    state.gateIndex = 3;
    state.timestampIndex = 2;
    state.readingText = kBefore;
    window.SetText(1092, kBefore);
    window.SetText(1053, "old message");
    window.ProgressSetPos(1000, 5);
    ports.reads.clear();
    TakeFrames();
  }
  // Bytes arriving delay ms after now.
  void At(std::uint64_t delay, std::vector<std::uint8_t> bytes) { ports.Reply(bytes, delay); }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Reads() const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const auto& r : ports.reads) out.emplace_back(r.asked, r.got);
    return out;
  }
};

using Reads = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
const std::vector<std::uint8_t> kG{'G'};
const std::vector<std::uint8_t> k1234{0, 0, 0x04, 0xD2};
const std::vector<std::uint8_t> kFlagged{0x4E, 0, 0, 1};

struct PollCase {
  const char* name;
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> replies;
  Reads reads;
  std::uint64_t costMs;
  std::string display;  // kBefore: unchanged
  std::string message;  // "old message": unchanged
  int progress;
};

const std::string k1234Khz = " 12.34" + kKhz;
const std::string k15 = std::string(15, ' ');
const std::string kOld = "old message";

const PollCase kPolls[] = {
    {"at once", {{0, kG}, {0, k1234}}, {{1, 1}, {4, 4}}, 0, k1234Khz, k15, 10},
    {"silent", {}, {{1, 0}, {1, 0}, {1, 0}}, 3000, kBefore, kOld, 0},
    {"error status", {{0, {'E'}}}, {{1, 1}}, 0, kBefore, kOld, 0},
    {"stray status", {{0, {'x'}}}, {{1, 1}}, 0, kBefore, kOld, 0},
    {"interrupted", {{0, {'N'}}}, {{1, 1}}, 0, kStopText, kInterrupted, 0},
    {"status on 2nd try",
     {{1500, kG}, {1500, k1234}},
     {{1, 0}, {1, 1}, {4, 4}},
     1500,
     k1234Khz,
     k15,
     10},
    {"status on 3rd try: consumed, not shown",
     {{2500, kG}, {2500, k1234}},
     {{1, 0}, {1, 0}, {1, 1}, {4, 4}},
     2500,
     kBefore,
     kOld,
     0},
    {"late status then no count",
     {{2500, kG}},
     {{1, 0}, {1, 0}, {1, 1}, {4, 0}, {4, 0}, {4, 0}, {4, 0}},
     6500,
     kBefore,
     kOld,
     0},
    {"late 'N' status",
     {{2500, {'N'}}},
     {{1, 0}, {1, 0}, {1, 1}},
     2500,
     kStopText,
     kInterrupted,
     0},
    {"count on 2nd try",
     {{0, kG}, {1500, k1234}},
     {{1, 1}, {4, 0}, {4, 4}},
     1500,
     k1234Khz,
     k15,
     10},
    {"count on 3rd try",
     {{0, kG}, {2500, k1234}},
     {{1, 1}, {4, 0}, {4, 0}, {4, 4}},
     2500,
     k1234Khz,
     k15,
     10},
    {"count never", {{0, kG}}, {{1, 1}, {4, 0}, {4, 0}, {4, 0}, {4, 0}}, 4000, kBefore, kOld, 0},
    {"count on 4th try is dropped",
     {{0, kG}, {3500, k1234}},
     {{1, 1}, {4, 0}, {4, 0}, {4, 0}, {4, 4}},
     3500,
     kBefore,
     kOld,
     0},
    {"count on 4th try flagged 0x4E",
     {{0, kG}, {3500, kFlagged}},
     {{1, 1}, {4, 0}, {4, 0}, {4, 0}, {4, 4}},
     3500,
     kStopText,
     kInterrupted,
     0},
    {"count flagged 0x4E",
     {{0, kG}, {0, kFlagged}},
     {{1, 1}, {4, 4}},
     0,
     kStopText,
     kInterrupted,
     0},
    // A field cut by a pause is completed by further reads.
    {"short count completed",
     {{0, kG}, {0, {0, 0}}, {500, {0x04, 0xD2}}},
     {{1, 1}, {4, 2}, {2, 2}},
     500,
     k1234Khz,
     k15,
     10},
    {"short count completed byte by byte",
     {{0, kG}, {0, {0}}, {300, {0}}, {600, {0x04}}, {900, {0xD2}}},
     {{1, 1}, {4, 1}, {3, 1}, {2, 1}, {1, 1}},
     900,
     k1234Khz,
     k15,
     10},
    // Never completed: not shown, whatever the buffer held before.
    {"short count never completed",
     {{0, kG}, {0, {0, 0}}},
     {{1, 1}, {4, 2}, {2, 0}},
     1100,
     kBefore,
     kOld,
     0},
};

TEST(PollInstrument, PathsReadsCostAndDisplay) {
  for (const PollCase& c : kPolls) {
    SCOPED_TRACE(c.name);
    Panel p;
    p.state.rxBuffer.fill(0x11);  // stale bytes a short field must not use
    for (const auto& [delay, bytes] : c.replies) p.At(delay, bytes);
    const std::uint64_t start = p.clock.now;
    p.Tick();
    EXPECT_EQ(p.Reads(), c.reads);
    EXPECT_EQ(p.clock.now - start, c.costMs);
    EXPECT_EQ(p.window.GetText(1092), c.display);
    EXPECT_EQ(p.Message(), c.message);
    EXPECT_EQ(p.window.progressLog.back(), c.progress);
    EXPECT_EQ(p.ports.Pending(), 0u);
    EXPECT_TRUE(p.TakeFrames().empty());  // the cycle never writes
    if (c.display != kBefore) {
      EXPECT_EQ(p.window.Get(1092).font.height, 34);
    }
  }
}

// Mode, launch branch and test function reach the conversion; the eight-byte
// modes consume eight count bytes.
TEST(PollInstrument, CountFieldLengthAndConversionInputs) {
  struct Row {
    std::uint32_t mode, t, g, singleShot;
    int test;
    std::vector<std::uint8_t> field;
    std::string display;
  };
  const std::string kMks = " mkS" + std::string(17, ' ');
  const Row rows[] = {
      {6, 1, 2, 0, 0, {0, 0, 0x04, 0xD2, 0, 0, 0, 9}, " 12.340" + kMks},
      {6, 1, 2, 1, 0, {0, 0, 0x04, 0xD2, 0, 0, 0, 9}, " 123.400" + kMks},
      {6, 1, 2, 0, 1, {0, 0, 0x04, 0xD2, 0, 0, 0, 9}, " 123.400" + kMks},
      {6, 1, 2, 0, 0, {0, 0, 0x04, 0xD2, 0, 0, 0, 0}, " OL "},
      {12, 1, 1, 0, 0, {0x80, 0, 0, 3, 0, 0, 0, 4}, " 0.750000" + std::string(18, ' ')},
      {11, 3, 4, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF}, " 4294967295" + std::string(21, ' ')},
      {0, 2, 3, 0, 0, {0, 0, 0x04, 0xD2}, kBefore},  // no row: the text stays
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " single " << r.singleShot);
    Panel p;
    p.state.measureMode = r.mode;
    p.state.timestampIndex = r.t;
    p.state.gateIndex = r.g;
    p.state.singleShot = r.singleShot;
    p.state.measurementArmed = 1;
    p.panel.testMeasureToggle = r.test;
    p.At(0, kG);
    p.At(0, r.field);
    p.Tick();
    const auto len = static_cast<std::uint32_t>(r.field.size());
    EXPECT_EQ(p.Reads(), (Reads{{1, 1}, {len, len}}));
    EXPECT_EQ(p.state.readingText, r.display);
    EXPECT_EQ(p.window.GetText(1092), r.display);
    EXPECT_EQ(p.window.progressLog.back(), 10);
  }
}

// An eight-byte field cut short is completed the same way, or not shown.
TEST(PollInstrument, ShortEightByteField) {
  struct Row {
    const char* name;
    std::uint32_t mode;
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> field;
    Reads reads;
    std::string display;
  };
  const std::string kDuty = " 0.750000" + std::string(18, ' ');
  const Row rows[] = {
      {"duty cycle, completed",
       12,
       {{0, {0x80, 0, 0, 3, 0}}, {400, {0, 0, 4}}},
       {{1, 1}, {8, 5}, {3, 3}},
       kDuty},
      {"duty cycle, never completed",
       12,
       {{0, {0, 0, 0, 3, 0}}},
       {{1, 1}, {8, 5}, {3, 0}},
       kBefore},
      {"DL4, zero second count after a pause",
       6,
       {{0, {0, 0, 4}}, {200, {0xD2, 0, 0, 0, 0}}},
       {{1, 1}, {8, 3}, {5, 5}},
       " OL "},
      {"DL4, second count missing", 6, {{0, {0, 0, 4, 0xD2}}}, {{1, 1}, {8, 4}, {4, 0}}, kBefore},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Panel p;
    p.state.rxBuffer.fill(0);  // stale zeros would give " OL " or 0.75 if used
    p.state.measureMode = r.mode;
    p.state.gateIndex = 1;
    p.At(0, kG);
    for (const auto& [delay, bytes] : r.field) p.At(delay, bytes);
    p.Tick();
    EXPECT_EQ(p.Reads(), r.reads);
    EXPECT_EQ(p.window.GetText(1092), r.display);
    EXPECT_EQ(p.window.progressLog.back(), r.display == kBefore ? 0 : 10);
    EXPECT_EQ(p.ports.Pending(), 0u);
  }
}

TEST(OnTimer, WhatEachTickDoes) {
  enum Does { kReadback, kPoll, kNothing };
  struct Row {
    std::uint32_t config, calibration, singleShot, armed;
    Does does;
  };
  const Row rows[] = {
      {1, 1, 1, 0, kReadback}, {1, 0, 0, 0, kReadback}, {0, 1, 0, 1, kNothing},
      {0, 0, 0, 0, kPoll},     {0, 0, 1, 1, kPoll},     {0, 0, 1, 0, kNothing},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.config << r.calibration << r.singleShot << r.armed);
    Panel p;
    p.state.configRequested = r.config;
    p.state.calibrationMode = r.calibration;
    p.state.singleShot = r.singleShot;
    p.state.measurementArmed = r.armed;
    p.TakeFrames();
    p.window.timerKills.clear();
    p.window.timerStarts.clear();
    p.Tick();
    const auto frames = p.TakeFrames();
    EXPECT_EQ(frames,
              r.does == kReadback ? std::vector<std::string>{"D1\r"} : std::vector<std::string>{});
    // A readback first reads away at once what is already on the line.
    const std::size_t reads = r.does == kPoll ? 3 : r.does == kReadback ? 3 : 0;
    EXPECT_EQ(p.ports.reads.size(), reads);
    EXPECT_EQ(p.state.configRequested, 0u);
    EXPECT_EQ(p.state.replyPending, r.does == kPoll ? 0u : 1u);  // silent port
    // The readback disarms; the cycle itself never does.
    EXPECT_EQ(p.state.measurementArmed, r.does == kReadback ? 0u : r.armed);
    EXPECT_EQ(p.window.timerKills, std::vector<unsigned>{1});
    EXPECT_EQ(p.window.timerStarts, (std::vector<std::pair<unsigned, unsigned>>{{1, 20}}));
  }
}

TEST(OnTimer, ReadbackIgnoresWhatArrivedBeforeTheRequest) {
  // Results sent while no tick polled (the scan's pauses, a handler's
  // exchange) lie before the reply to "D1"; they must not be taken for it.
  const std::string state{1, 0, 2, 0, 4, 0, 0, 0, 1, 1, 0, 1, 70, 78, 0};
  const std::string result = std::string("G\0\0\x04\xD2", 5);
  struct Case {
    const char* name;
    std::string unread;
  };
  const Case cases[] = {
      {"nothing", ""},
      {"two results", result + result},
      {"a result cut short", result.substr(0, 3)},
      {"more than the drain's buffer", std::string(40, 'G') + result},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Panel p;
    p.ports.OnWrite([&](ScriptedPorts& port, const std::vector<std::uint8_t>& frame) {
      if (frame == std::vector<std::uint8_t>{'D', '1', '\r'}) port.Reply("C" + state);
    });
    if (!c.unread.empty()) p.ports.Reply(c.unread);
    p.state.configRequested = 1;
    const std::uint64_t start = p.clock.now;
    p.Tick();
    EXPECT_EQ(p.TakeFrames(), std::vector<std::string>{"D1\r"});
    EXPECT_EQ(p.clock.now - start, 10u);  // only the pause before the reply
    EXPECT_EQ(p.ports.Pending(), 0u);     // nothing left for the poll to misread
    EXPECT_EQ(p.state.measureMode, 2u);
    EXPECT_EQ(p.state.gateIndex, 3u);
    EXPECT_EQ(p.state.activeChannel, 4u);
    EXPECT_EQ(p.state.calibrationCode, 78);
    EXPECT_EQ(p.ports.timeouts["COM1:"], (CommTimeouts{100, 0, 1000, 0, 800}));
  }
}

TEST(OnTimer, ArmedSingleShotShowsEveryResult) {
  Panel p;
  p.state.singleShot = 1;
  p.Tick();
  EXPECT_TRUE(p.ports.reads.empty());
  p.state.measurementArmed = 1;
  for (std::uint8_t low : {0xD2, 0xD3}) {
    p.At(0, kG);
    p.At(0, {0, 0, 0x04, low});
    p.Tick();
  }
  EXPECT_EQ(p.window.TextsOf(1092).back(), " 12.35" + kKhz);
  EXPECT_EQ(p.state.measurementArmed, 1u);
}

TEST(StopMessage, ShowsStopUntilTheNextReadingAndKeepsTheBar) {
  Panel p;
  p.At(0, kG);
  p.At(0, k1234);
  p.Tick();
  const auto timers = p.window.timerStarts.size();
  p.window.Send({WM_USER + 110, 0, 0, 0});
  EXPECT_EQ(p.window.GetText(1092), kStopText);
  EXPECT_EQ(p.Message(), kInterrupted);
  EXPECT_EQ(p.window.progressLog.back(), 10);
  EXPECT_EQ(p.window.timerStarts.size(), timers);

  const auto texts = p.window.textLog.size();
  p.window.Send({WM_USER + 100, 0, 0, 0});
  EXPECT_EQ(p.window.textLog.size(), texts);

  p.At(0, kG);
  p.At(0, k1234);
  p.Tick();
  EXPECT_EQ(p.window.GetText(1092), k1234Khz);
  EXPECT_EQ(p.Message(), k15);
}

}  // namespace
}  // namespace kolvane::test
