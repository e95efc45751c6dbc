// A started panel whose instrument answers every frame as a script says:
// by default one CR per frame.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/panel_harness.h"

namespace kolvane::test {

inline const std::string kCrOnly = "\r";

inline std::string Blanked(std::size_t n) {
  return std::string(n, ' ');
}

class StartedPanel : public ::testing::Test {
 protected:
  using Answer = std::function<std::string(const std::string& frame)>;

  void SetUp() override {
    h.InstrumentOn(3);
    ASSERT_TRUE(h.Init());
    AnswerWith([](const std::string&) { return kCrOnly; });
    h.TakeFrames();
    h.clock.sleeps.clear();
  }

  // The instrument's answer to each frame, arriving at once.
  void AnswerWith(Answer answer) {
    h.ports.OnWrite(
        [answer = std::move(answer)](ScriptedPorts& p, const std::vector<std::uint8_t>& frame) {
          p.Reply(answer(std::string(frame.begin(), frame.end())));
        });
  }
  void Silent() {
    AnswerWith([](const std::string&) { return std::string(); });
  }

  // Virtual time taken by an action.
  std::uint64_t Elapsed(const std::function<void()>& action) {
    const std::uint64_t start = h.clock.now;
    action();
    return h.clock.now - start;
  }

  PanelHarness h;
};

}  // namespace kolvane::test
