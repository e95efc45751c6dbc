// The panel without a screen, driven as a user would: the clicks' frames,
// the mode dialogs answered with a variant, the refusals it reports, and
// rehearsals that leave the instrument and the live panel alone.
#include "panel/model/panel_model.h"

#include <gtest/gtest.h>

#include "resources/ids.h"
#include "tests/behaviour/model_bench.h"

namespace kolvane::test {
namespace {

struct Step {
  int id;
  int variant;  // the dialog's answer; -1 for a plain click
};

struct ModelCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> frames;
  bool refused;  // the last step's outcome
  int control;   // and afterwards this control is
  bool enabled;
};

class PanelModelClicks : public ::testing::TestWithParam<ModelCase> {};

TEST_P(PanelModelClicks, SendTheFramesAndShowTheState) {
  const ModelCase& c = GetParam();
  ModelBench b;  // frequency mode on channel A
  ASSERT_TRUE(b.found);
  std::optional<Outcome> last;
  for (const Step& s : c.steps) last = b.model.ClickMode(s.id, s.variant);
  EXPECT_EQ(b.Frames(), c.frames);
  EXPECT_EQ(last.has_value() && last->Refused(), c.refused);
  EXPECT_EQ(b.model.Enabled(c.control), c.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PanelModelClicks,
    ::testing::Values(
        ModelCase{"PeriodLeavesOutChannelB",
                  {{ids::kModePeriod, -1}},
                  {"R2\r"},
                  false,
                  ids::kChannelB,
                  false},
        // The dialog sends the remembered DL1 as it opens, then the answer.
        ModelCase{"Dl3ThroughItsDialog",
                  {{ids::kModePulseDuration, 2}},
                  {"R3\r", "R5\r"},
                  false,
                  ids::kGate1,
                  false},
        ModelCase{"Dl4MeasuresOnCAlone",
                  {{ids::kModePulseDuration, 3}},
                  {"R3\r", "R6\r"},
                  false,
                  ids::kChannelA,
                  false},
        ModelCase{
            "RatioBcRefusedOnA", {{ids::kModeRatio, 2}}, {"A1\r"}, true, ids::kChannelB, true},
        ModelCase{"CountDisablesTheGate",
                  {{ids::kModeCount, 1}},
                  {"R7\r", "R8\r"},
                  false,
                  ids::kGate5,
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PanelModel, RehearsalTouchesNeitherTheLineNorTheLivePanel) {
  ModelBench b;
  const auto rehearsal = b.model.Rehearse();
  rehearsal->ClickMode(ids::kModeTachometer, -1);
  EXPECT_FALSE(rehearsal->Enabled(ids::kChannelA));
  EXPECT_EQ(rehearsal->State().measureMode, protocol::mode::kTachometer);
  EXPECT_EQ(b.Frames(), std::vector<std::string>{});
  EXPECT_TRUE(b.model.Enabled(ids::kChannelA));
  EXPECT_EQ(b.model.State().measureMode, protocol::mode::kFrequency);
}

TEST(PanelModel, RemembersTheDialogsAnswerForTheNextOpening) {
  ModelBench b;
  b.model.ClickMode(ids::kModeCount, 1);
  b.Frames();
  b.model.ClickMode(ids::kModeCount, 1);
  EXPECT_EQ(b.Frames(), std::vector<std::string>{"R8\r"});
}

}  // namespace
}  // namespace kolvane::test
