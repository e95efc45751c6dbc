#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/dialogs/mode_dialogs.h"
#include "tests/behaviour/inputs_fixture.h"

namespace kolvane::test {
namespace {

constexpr std::uint32_t kA = 1, kB = 2, kC = 4;

const std::string kChannelB = "Включен канал B. Выберите B/C.  ";
const std::string kChannelA = "Включен канал A. Выберите A/C или C/A.  ";
const std::string kChannelC = "Включен канал C. Выберите A/C или C/A.  ";

class ModeDialogTest : public StartedPanel {
 protected:
  // Opens a dialog; inside it the user picks the given entries in turn.
  int Open(CDialog& dialog, std::vector<int> picks = {}) {
    h.window.QueueModal([picks](FakeWindow& w, CDialog&) {
      for (int index : picks) w.SelectEntry(1069, index);
    });
    return dialog.DoModal(h.window);
  }
  FakeWindow& LastDialogWindow() { return *h.window.modalWindows.back(); }
  int OpenRatio(std::vector<int> picks = {}) {
    CRatioModeDlg dialog(h.panel);
    return Open(dialog, std::move(picks));
  }
};

// ---- Count and duration ----

TEST_F(ModeDialogTest, CountDialogRemembersItsChoiceAcrossOpenings) {
  CCountModeDlg& count = h.panel.CountDialog();
  Open(count);
  EXPECT_EQ(LastDialogWindow().Get(1069).entries,
            (std::vector<std::string>{"Счет по длительности", "Счет по периоду"}));
  EXPECT_EQ(LastDialogWindow().Get(1069).curSel, 0);
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{"R7\r"});
  EXPECT_EQ(h.state.measureMode, 7u);

  Open(count, {1});
  EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{"R7\r", "R8\r"}));
  EXPECT_EQ(h.state.measureMode, 8u);
  EXPECT_EQ(h.state.countChoice, 1);

  Open(count);
  EXPECT_EQ(LastDialogWindow().Get(1069).curSel, 1);
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{"R8\r"});
  EXPECT_EQ(h.state.measureMode, 8u);
}

TEST_F(ModeDialogTest, DurationVariantsSendTheirFrameAndMode) {
  struct Case {
    int index;
    const char* frame;
    std::uint32_t mode;
  };
  const Case cases[] = {{0, "R3\r", 3}, {1, "R4\r", 4}, {2, "R5\r", 5}, {3, "R6\r", 6}};
  CDurationModeDlg& duration = h.panel.DurationDialog();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    h.state.durationChoice = 0;
    h.state.measurementArmed = 1;
    Open(duration, {c.index});
    EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{"R3\r", c.frame}));
    EXPECT_EQ(h.state.measureMode, c.mode);
    EXPECT_EQ(h.state.durationChoice, c.index);
    EXPECT_EQ(h.state.measurementArmed, 0u);
  }
  EXPECT_EQ(LastDialogWindow().Get(1069).entries,
            (std::vector<std::string>{"DL1", "DL2", "DL3", "DL4"}));
}

TEST_F(ModeDialogTest, CountAndDurationShowNothingWhenUnanswered) {
  Silent();
  h.window.SetText(1053, "panel text");
  for (CDialog* dialog : {static_cast<CDialog*>(&h.panel.CountDialog()),
                          static_cast<CDialog*>(&h.panel.DurationDialog())}) {
    // Silence earns exactly one more read.
    EXPECT_EQ(Elapsed([&] { Open(*dialog, {1}); }), 4000u);
    EXPECT_EQ(LastDialogWindow().TextsOf(1053), std::vector<std::string>{});
  }
  EXPECT_EQ(h.Message(), "panel text");
  EXPECT_EQ(h.state.measureMode, 4u);
  EXPECT_EQ(h.state.countChoice, 1);
}

TEST_F(ModeDialogTest, AnyByteEndsTheExchangeAtOnce) {
  AnswerWith([](const std::string&) { return "?"; });
  const std::size_t reads = h.ports.reads.size();
  Open(h.panel.CountDialog());
  EXPECT_EQ(h.ports.reads.size(), reads + 1);
}

// ---- Ratio ----

struct RatioCase {
  int choice;
  std::uint32_t channel;
  const char* frame;  // nullptr: nothing sent
  std::string message;
};

const RatioCase kRatioCases[] = {
    {0, kA, "A1\r", ""}, {0, kC, "A1\r", ""},         {1, kA, "A2\r", ""},
    {1, kC, "A2\r", ""}, {0, kB, nullptr, kChannelB}, {1, 0, nullptr, kChannelB},
    {2, kB, "A3\r", ""}, {2, kA, nullptr, kChannelA}, {2, kC, nullptr, kChannelC},
    {2, 0, nullptr, ""},  // no channel known: nothing at all
};

TEST_F(ModeDialogTest, RatioOpeningChecksTheRememberedChoice) {
  for (const RatioCase& c : kRatioCases) {
    SCOPED_TRACE(std::to_string(c.choice) + " on " + std::to_string(c.channel));
    h.state.ratioChoice = c.choice;
    h.state.activeChannel = c.channel;
    h.state.measurementArmed = 1;
    OpenRatio();
    const auto frames = h.TakeFrames();
    EXPECT_EQ(frames, c.frame ? std::vector<std::string>{c.frame} : std::vector<std::string>{});
    EXPECT_EQ(LastDialogWindow().GetText(1053), c.message);
    EXPECT_EQ(LastDialogWindow().Get(1069).curSel, c.choice);
    EXPECT_EQ(h.state.measurementArmed, c.frame ? 0u : 1u);
  }
}

TEST_F(ModeDialogTest, RatioSelectionChecksTheNewChoice) {
  for (const RatioCase& c : kRatioCases) {
    SCOPED_TRACE(std::to_string(c.choice) + " on " + std::to_string(c.channel));
    // Open with nothing sent or said (no channel yet); the case then sets the channel.
    h.state.ratioChoice = 2;
    h.state.activeChannel = 0;
    CRatioModeDlg dialog(h.panel);
    h.window.QueueModal([&](FakeWindow& w, CDialog&) {
      h.state.activeChannel = c.channel;
      w.SelectEntry(1069, c.choice);
    });
    dialog.DoModal(h.window);
    const auto frames = h.TakeFrames();
    EXPECT_EQ(frames, c.frame ? std::vector<std::string>{c.frame} : std::vector<std::string>{});
    EXPECT_EQ(LastDialogWindow().GetText(1053), c.message);
    EXPECT_EQ(h.state.ratioChoice, c.choice);  // remembered even when refused
  }
}

TEST_F(ModeDialogTest, RatioNoReplyTextsDifferForC_AOnOpeningAndChange) {
  struct Case {
    int choice;
    std::uint32_t channel;
    bool opening;
    std::size_t blanks;
  };
  const Case cases[] = {
      {0, kA, true, 3},  {0, kA, false, 3}, {1, kC, true, 4},
      {1, kC, false, 5}, {2, kB, true, 3},  {2, kB, false, 3},
  };
  Silent();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.choice) + (c.opening ? " opening" : " change"));
    h.state.activeChannel = c.channel;
    h.state.ratioChoice = c.opening ? c.choice : -1;
    OpenRatio(c.opening ? std::vector<int>{} : std::vector<int>{c.choice});
    EXPECT_EQ(LastDialogWindow().GetText(1053), "Нет отклика от прибора" + Blanked(c.blanks));
    EXPECT_EQ(h.TakeFrames().size(), 1u);
  }
}

TEST_F(ModeDialogTest, RefusalStaysWhileAFittingChoiceIsSent) {
  h.state.activeChannel = kA;
  h.state.ratioChoice = 0;
  OpenRatio({2, 1});
  EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{"A1\r", "A2\r"}));
  EXPECT_EQ(LastDialogWindow().TextsOf(1053), std::vector<std::string>{kChannelA});
  EXPECT_EQ(LastDialogWindow().GetText(1053), kChannelA);
  EXPECT_EQ(h.state.ratioChoice, 1);
}

TEST_F(ModeDialogTest, ChannelBOpeningThenBCSends) {
  h.state.activeChannel = kB;
  h.state.ratioChoice = 0;
  OpenRatio({2});
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{"A3\r"});
  EXPECT_EQ(LastDialogWindow().GetText(1053), kChannelB);
}

TEST_F(ModeDialogTest, RatioLeavesModeAndTimerToTheOpener) {
  h.state.activeChannel = kA;
  h.state.measureMode = 2;
  const auto starts = h.window.timerStarts.size();
  const auto kills = h.window.timerKills.size();
  OpenRatio({1});
  OpenRatio({0});
  EXPECT_EQ(h.state.measureMode, 2u);
  EXPECT_EQ(h.window.timerStarts.size(), starts);
  EXPECT_EQ(h.window.timerKills.size(), kills);
}

// ---- Closing ----

TEST_F(ModeDialogTest, OkAndEscapeOnlyEndTheDialog) {
  h.state.activeChannel = kA;
  struct Case {
    int button;
    int result;
  };
  for (const Case& c : {Case{1, 1}, Case{2, 2}}) {
    SCOPED_TRACE(c.button);
    for (CDialog* dialog : {static_cast<CDialog*>(&h.panel.CountDialog()),
                            static_cast<CDialog*>(&h.panel.DurationDialog())}) {
      h.window.QueueModal([&](FakeWindow& w, CDialog&) {
        h.TakeFrames();
        w.Click(c.button);
      });
      EXPECT_EQ(dialog->DoModal(h.window), c.result);
      EXPECT_TRUE(h.TakeFrames().empty());
    }
    CRatioModeDlg ratio(h.panel);
    h.window.QueueModal([&](FakeWindow& w, CDialog&) {
      h.TakeFrames();
      w.Click(c.button);
    });
    EXPECT_EQ(ratio.DoModal(h.window), c.result);
    EXPECT_TRUE(h.TakeFrames().empty());
  }
}

TEST_F(ModeDialogTest, RatioMessageIsDarkRedOnWhite) {
  CRatioModeDlg ratio(h.panel);
  const CtlColors message = ratio.OnCtlColor(1053, CTLCOLOR_STATIC);
  EXPECT_TRUE(message.custom);
  EXPECT_TRUE(message.ownBrush);
  EXPECT_EQ(message.brush, Rgb(255, 255, 255));
  EXPECT_EQ(message.textBk, Rgb(255, 255, 255));
  EXPECT_EQ(message.text, Rgb(128, 0, 0));
  struct Other {
    int id;
    int kind;
  };
  for (const Other& o : {Other{1069, CTLCOLOR_LISTBOX}, Other{1, CTLCOLOR_BTN},
                         Other{-1, CTLCOLOR_STATIC}, Other{0, CTLCOLOR_DLG}}) {
    SCOPED_TRACE(o.id);
    EXPECT_FALSE(ratio.OnCtlColor(o.id, o.kind).custom);
  }
}

}  // namespace
}  // namespace kolvane::test
