// The acknowledgement rules: which reads each makes, what it accepts, and
// how much time a path costs on a port whose reads give up after 1000 ms
// (and 100 ms after the last byte of a partial read).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/behaviour/commands_fixture.h"

namespace kolvane::test {
namespace {

struct Arrival {
  std::uint64_t afterMs;  // after the write
  std::string bytes;
};

struct RuleCase {
  const char* name;
  Command cmd;
  std::vector<Arrival> reply;
  bool accepted;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;  // asked, got
  std::uint64_t ms;                                            // from the write to the verdict
  std::optional<std::uint32_t> writeAccepts = std::nullopt;
};

using R = AckRule;
const Command kM1{'M', '1', R::k1};
const Command kM2{'M', '2', R::k2};
const Command kT5{'T', '5', R::k3};
const Command kK1{'K', '1', R::k4};
const Command kL13{'L', 13, R::k5};
const Command kY200{'Y', 200, R::k5, 10};
const Command kR1{'R', '1', R::k6};
const Command kP2{'P', '2', R::k7};
const Command kQ1{'Q', '1', R::k8};
const Command kZ{'Z', kNoParam, R::k9};
const Command kI1{'I', '1', R::k10};
const Command kC{'C', kNoParam, R::kNone};

const std::vector<RuleCase> kRuleCases = {
    {"1: CR at once", kM1, {{0, "\r\r"}}, true, {{2, 2}}, 0},
    {"1: CR in the second pair", kM1, {{0, "XY\rZ"}}, true, {{2, 2}, {2, 2}}, 0},
    {"1: third read takes any byte", kM1, {{0, "XYZWQ"}}, true, {{2, 2}, {2, 2}, {2, 1}}, 101},
    {"1: late CR", kM1, {{1500, "\r"}}, true, {{2, 0}, {2, 1}}, 1600},
    {"1: two wrong pairs, then silence", kM1, {{0, "XYZW"}}, false, {{2, 2}, {2, 2}, {2, 0}}, 1001},
    {"1: silence", kM1, {}, false, {{2, 0}, {2, 0}, {2, 0}}, 3001},
    {"2: CR at once", kM2, {{0, "\r\r"}}, true, {{2, 2}}, 0},
    {"2: CR after a wrong pair", kM2, {{0, "XY\r\r"}}, true, {{2, 2}, {2, 2}}, 1},
    {"2: two wrong pairs", kM2, {{0, "XYZWQ"}}, false, {{2, 2}, {2, 2}}, 1},
    {"2: silence", kM2, {}, false, {{2, 0}, {2, 0}}, 2001},
    {"3: any byte", kT5, {{0, "X"}}, true, {{2, 1}}, 100},
    {"3: a late byte", kT5, {{1500, "X"}}, true, {{2, 0}, {2, 1}}, 1600},
    {"3: silence", kT5, {}, false, {{2, 0}, {2, 0}}, 2001},
    {"4: CR at once", kK1, {{0, "\r"}}, true, {{1, 1}}, 0},
    {"4: two stray bytes before CR", kK1, {{0, "ab\r"}}, true, {{1, 1}, {1, 1}, {1, 1}}, 0},
    {"4: three stray bytes", kK1, {{0, "abc"}}, false, {{1, 1}, {1, 1}, {1, 1}}, 0},
    {"4: silence, no pause", kK1, {}, false, {{1, 0}, {1, 0}, {1, 0}}, 3000},
    {"5: CR second", kL13, {{0, "a\r"}}, true, {{1, 1}, {1, 1}}, 0},
    {"5: two stray bytes, then silence", kL13, {{0, "ab"}}, false, {{1, 1}, {1, 1}, {1, 0}}, 1000},
    {"5: silence", kL13, {}, false, {{1, 0}, {1, 0}, {1, 0}}, 3000},
    {"5: settle pause before the first read", kY200, {{0, "\r"}}, true, {{1, 1}}, 10},
    {"6: CR at once", kR1, {{0, "\r"}}, true, {{1, 1}}, 0},
    {"6: CR after a stray byte", kR1, {{0, "x\r"}}, true, {{1, 1}, {1, 1}}, 1},
    {"6: two stray bytes", kR1, {{0, "xy"}}, false, {{1, 1}, {1, 1}}, 1},
    {"6: silence", kR1, {}, false, {{1, 0}, {1, 0}}, 2001},
    {"7: any byte, no second read", kP2, {{0, "X"}}, true, {{1, 1}}, 0},
    {"7: late CR", kP2, {{1500, "\r"}}, true, {{1, 0}, {1, 1}}, 1500},
    {"7: late stray byte", kP2, {{1500, "X"}}, false, {{1, 0}, {1, 1}}, 1500},
    {"7: silence", kP2, {}, false, {{1, 0}, {1, 0}}, 2000},
    {"8: CR at once", kQ1, {{0, "\r"}}, true, {{1, 1}}, 0},
    {"8: CR after a stray byte, no pause", kQ1, {{0, "x\r"}}, true, {{1, 1}, {1, 1}}, 0},
    {"8: two stray bytes", kQ1, {{0, "xy"}}, false, {{1, 1}, {1, 1}}, 0},
    {"8: silence", kQ1, {}, false, {{1, 0}, {1, 0}}, 2000},
    {"9: any byte", kZ, {{0, "x"}}, true, {{1, 1}}, 0},
    {"9: a byte for the third read", kZ, {{2500, "x"}}, true, {{1, 0}, {1, 0}, {1, 1}}, 2500},
    {"9: silence", kZ, {}, false, {{1, 0}, {1, 0}, {1, 0}}, 3001},
    {"10: written, reply drained", kI1, {{0, "\rabcd"}}, true, {{5, 5}}, 0},
    {"10: written, CR alone", kI1, {{0, "\r"}}, true, {{5, 1}}, 100},
    {"10: written, silence", kI1, {}, true, {{5, 0}}, 1000},
    {"10: not written, any byte", kI1, {{0, "x"}}, true, {{1, 1}, {5, 0}}, 1000, 0},
    {"10: not written, late byte", kI1, {{1500, "x"}}, true, {{1, 0}, {1, 1}, {5, 0}}, 2500, 0},
    {"10: not written, silence", kI1, {}, false, {{1, 0}, {1, 0}, {5, 0}}, 3000, 0},
    {"none: never reads", kC, {{0, "\r"}}, true, {}, 0},
};

TEST(AcknowledgementRules, ReadsVerdictAndTime) {
  for (const RuleCase& c : kRuleCases) {
    SCOPED_TRACE(c.name);
    CommandBench b;
    ASSERT_TRUE(b.started);
    if (c.writeAccepts) {
      PortSpec setup;
      setup.writeAccepts = c.writeAccepts;
      b.h.ports.AddPort("COM1:", setup);
    }
    b.h.ports.OnWrite([&c](ScriptedPorts& p, const std::vector<std::uint8_t>&) {
      for (const Arrival& a : c.reply) p.Reply(a.bytes, a.afterMs);
    });

    const bool accepted = b.h.panel.ExchangeFrame(c.cmd);

    EXPECT_EQ(accepted, c.accepted);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;
    for (const ReadRecord& r : b.h.ports.reads) reads.emplace_back(r.asked, r.got);
    EXPECT_EQ(reads, c.reads);
    ASSERT_EQ(b.Writes().size(), 1u);
    EXPECT_EQ(b.h.clock.now - b.Writes()[0].at, c.ms);
  }
}

TEST(AcknowledgementRules, FrameBytes) {
  const struct {
    Command cmd;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {kM1, {'M', '1', 0x0D}},
      {kZ, {'Z', 0x0D}},
      {{'H', kNoParam, R::k6}, {'H', 0x0D}},
      // A spin position of 13 is a CR byte, and the frame is still three bytes.
      {kL13, {'L', 0x0D, 0x0D}},
      {{'L', 64, R::k8}, {'L', 0x40, 0x0D}},
      {{'Y', 0, R::k5}, {'Y', 0x00, 0x0D}},
      {kY200, {'Y', 200, 0x0D}},
  };
  for (const auto& c : cases) {
    CommandBench b;
    b.h.panel.ExchangeFrame(c.cmd);
    ASSERT_EQ(b.Writes().size(), 1u);
    EXPECT_EQ(b.Writes()[0].bytes, c.bytes);
  }
}

TEST(AcknowledgementRules, ReceiveByteIsPrimedAfterTheWrite) {
  // Rule 4 never re-primes: a stray byte stays; rule 5 re-primes for its last read.
  const struct {
    Command cmd;
    std::string reply;
    std::uint8_t firstByte;
  } cases[] = {
      {kC, "", '&'},
      {kK1, "ab", 'b'},
      {kL13, "ab", '&'},
      {kR1, "", '&'},
  };
  for (const auto& c : cases) {
    CommandBench b;
    b.h.state.rxBuffer[0] = 0x0D;  // a CR left from earlier must not count
    b.AnswerWith([&c](const std::string&) { return c.reply; });
    b.h.panel.ExchangeFrame(c.cmd);
    EXPECT_EQ(b.h.state.rxBuffer[0], c.firstByte) << c.cmd.letter;
  }
}

TEST(AcknowledgementRules, SettlePauseFallsBetweenWriteAndFirstRead) {
  CommandBench b;
  b.h.panel.ExchangeFrame(kY200);
  ASSERT_EQ(b.h.ports.reads.size(), 1u);
  EXPECT_EQ(b.h.ports.reads[0].at - b.Writes()[0].at, 10u);
}

TEST(SendCommand, ShowsTheFailureTextOnlyWhenTheRuleFails) {
  CommandBench acked;
  acked.h.window.SetText(1053, "earlier");
  acked.h.panel.SendCommand(kR1, "text  ");
  EXPECT_EQ(acked.Message(), "earlier");

  CommandBench silent;
  silent.Silent();
  silent.h.panel.SendCommand(kR1, "text  ");
  EXPECT_EQ(silent.Message(), "text  ");
}

TEST(SendCommand, WithoutAPortEveryRuleFailsAfterItsPausesOnly) {
  const struct {
    Command cmd;
    std::uint64_t ms;
  } cases[] = {{kM1, 1}, {kM2, 1}, {kT5, 1}, {kK1, 0}, {kL13, 0}, {kY200, 10},
               {kR1, 1}, {kP2, 0}, {kQ1, 0}, {kZ, 1},  {kI1, 0}};
  for (const auto& c : cases) {
    CommandBench b(false);
    const std::uint64_t start = b.h.clock.now;
    EXPECT_FALSE(b.h.panel.ExchangeFrame(c.cmd)) << c.cmd.letter;
    EXPECT_EQ(b.h.clock.now - start, c.ms) << c.cmd.letter;
  }
  CommandBench b(false);
  EXPECT_TRUE(b.h.panel.ExchangeFrame(kC));
}

}  // namespace
}  // namespace kolvane::test
