// Clicks on the real panel's widgets, and the frames kolvane-sim received
// for each of them, byte for byte as its log shows them.
#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "tests/gui/real_panel.h"

namespace kolvane::test {
namespace {

using Frames = std::vector<std::string>;

struct Step {
  const char* name;
  std::function<void(QWidget& panel)> act;
  Frames frames;   // as the simulator logged them, in order
  int textId = 0;  // a control whose text the step leaves, 0 for none
  std::string text = {};
};

// Runs the steps once the panel has read the instrument's state back, and
// checks the frames each step sent. The simulator sends no results here, so
// every acknowledgement is the answer to its own frame.
void RunSteps(const std::vector<Step>& steps) {
  SimProcess sim({"--rate", "0"}, 1);
  ASSERT_TRUE(sim.Ready());
  RealPanel p;
  RunPanel(
      p, [&](qt::QtDialogWindow&) { return WaitForReadback(p); },
      [&](qt::QtDialogWindow& w) {
        for (const Step& s : steps) {
          SCOPED_TRACE(s.name);
          const std::size_t before = ReceivedFrames(sim).size();
          s.act(w.Widget());
          const Frames all = ReceivedFrames(sim);
          EXPECT_EQ(Frames(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), s.frames);
          if (s.textId != 0) {
            EXPECT_EQ(w.GetText(s.textId), s.text);
          }
        }
      });
  ASSERT_TRUE(sim.WaitForLog(R"(J\x0D)", 1000));
  const Frames all = ReceivedFrames(sim);
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all[0], R"(B\x0D)");
  EXPECT_EQ(all[1], R"(D1\x0D)");
  EXPECT_EQ(all.back(), R"(J\x0D)");
}

std::function<void(QWidget&)> Click(int id) {
  return [id](QWidget& panel) { ClickControl(panel, id); };
}

std::function<void(QWidget&)> Arrow(int id, bool up) {
  return [id, up](QWidget& panel) { ClickArrow(panel, id, up); };
}

std::function<void(QWidget&)> Entry(int id, int row) {
  return [id, row](QWidget& panel) { ClickListEntry(panel, id, row); };
}

TEST(PanelCommands, TimeBaseRadiosSendTheirFrames) {
  // Time stamps are enabled only while the test function is on.
  RunSteps({
      {"gate 10^-2 s", Click(ids::kGate1 + 1), {R"(T2\x0D)"}},
      {"gate 10 s", Click(ids::kGate5), {R"(T5\x0D)"}},
      {"gate 10^-3 s", Click(ids::kGate1), {R"(T1\x0D)"}},
      {"the same gate again", Click(ids::kGate1), {R"(T1\x0D)"}},
      {"a time stamp while test is off is disabled", Click(ids::kTimestamp1), {}},
      {"test on", Click(ids::kTestMeasure), {R"(Q2\x0D)"}},
      {"time stamp 10^-7 s", Click(ids::kTimestamp1), {R"(M1\x0D)"}},
      {"time stamp 10^-3 s", Click(ids::kTimestamp5), {R"(M5\x0D)"}},
      {"test off", Click(ids::kTestMeasure), {R"(Q1\x0D)"}},
  });
}

// Clicks the mode radio, then in the dialog it opens each entry of `rows`
// and OK, or Escape. `message` gets the dialog's message field at the end.
std::function<void(QWidget&)> ThroughDialog(int radio, int templateId, std::vector<int> rows,
                                            bool escape, std::string* message = nullptr) {
  return [=](QWidget& panel) {
    QTimer::singleShot(0, &panel, [=, &panel] {
      QDialog* dialog = ModalDialog();
      if (dialog == nullptr || dialog->accessibleDescription() != QString::number(templateId)) {
        ADD_FAILURE() << "dialog " << templateId << " is not open";
        if (dialog != nullptr && dialog != panel.window()) dialog->reject();
        return;
      }
      for (int row : rows) ClickListEntry(*dialog, ids::kDialogList, row);
      if (message != nullptr) {
        *message =
            qobject_cast<QLabel*>(ControlIn(*dialog, ids::kDialogMessage))->text().toStdString();
      }
      if (escape) {
        QTest::keyClick(dialog, Qt::Key_Escape);
      } else {
        ClickControl(*dialog, IDOK);
      }
    });
    ClickControl(panel, radio);
  };
}

TEST(PanelCommands, ModeDialogsSendTheChosenVariant) {
  std::string ratioMessage;
  RunSteps({
      {"count: opens on the first entry, then by period",
       ThroughDialog(ids::kModeCount, ids::kCountDialog, {1}, false),
       {R"(R7\x0D)", R"(R8\x0D)"},
       ids::kMessage,
       " В режиме СЧЕТ переключение каналов невозможно  "},
      {"count again: opens on the choice of last time",
       ThroughDialog(ids::kModeCount, ids::kCountDialog, {}, true),
       {R"(R8\x0D)"}},
      {"ratio on channel A: A/C, then C/A; B/C is refused",
       ThroughDialog(ids::kModeRatio, ids::kRatioDialog, {1, 2}, false, &ratioMessage),
       {R"(A1\x0D)", R"(A2\x0D)"}},
      {"duration: DL1 first, then DL4, left with Escape",
       ThroughDialog(ids::kModePulseDuration, ids::kDurationDialog, {3}, true),
       {R"(R3\x0D)", R"(R6\x0D)"}},
      {"DL4 measures on C: the channel radios are off", Click(ids::kChannelA), {}},
  });
  EXPECT_EQ(ratioMessage, "Включен канал A. Выберите A/C или C/A.  ");
}

TEST(PanelCommands, ListEntriesSendTheirFrames) {
  // The readback left "1 МOм", " =~ ", "1:1" and the internal generator.
  RunSteps({
      {"impedance: the arrow only shows the other entry", Arrow(ids::kImpedance, true), {}},
      {"impedance 50 Ом", Entry(ids::kImpedance, 0), {R"(V1\x0D)"}},
      {"coupling ~", Arrow(ids::kCoupling, false), {}},
      {"coupling ~ chosen", Entry(ids::kCoupling, 1), {R"(V6\x0D)"}},
      {"attenuator 1:10", Arrow(ids::kAttenuator, false), {}},
      {"attenuator 1:10 chosen", Entry(ids::kAttenuator, 1), {R"(V3\x0D)"}},
      {"attenuator 1:1", Arrow(ids::kAttenuator, true), {}},
      {"attenuator 1:1 chosen", Entry(ids::kAttenuator, 0), {R"(V4\x0D)"}},
      {"external generator", Arrow(ids::kGenerator, false), {}},
      {"external generator chosen", Entry(ids::kGenerator, 1), {R"(I3\x0D)"}},
      {"low-pass filter on", Click(ids::kLowPassFilter), {R"(V7\x0D)"}},
      {"slope", Click(ids::kSlope), {R"(F1\x0D)"}},
  });
}

TEST(PanelCommands, SpinArrowsSendTheRawPositionForTheChangeAndTheEndOfTheScroll) {
  // The readback put the level at 64 ("@") and the calibration at 128.
  RunSteps({
      {"level up", Arrow(ids::kLevelSpin, true), {R"(LA\x0D)", R"(LA\x0D)"}, ids::kLevelText, " 8"},
      {"level down",
       Arrow(ids::kLevelSpin, false),
       {R"(L@\x0D)", R"(L@\x0D)"},
       ids::kLevelText,
       " 0"},
      {"level down once more",
       Arrow(ids::kLevelSpin, false),
       {R"(L?\x0D)", R"(L?\x0D)"},
       ids::kLevelText,
       " -8"},
      {"calibration outside calibration mode",
       Arrow(ids::kCalibrationSpin, true),
       {},
       ids::kCalibrationText,
       "  128"},
      {"a gate radio puts the calibration spin back",
       Click(ids::kGate1 + 2),
       {R"(T3\x0D)"},
       ids::kCalibrationText,
       "  128"},
      {"calibration mode", Click(ids::kModeCalibration), {R"(Y\x80\x0D)"}},
      {"calibration up",
       Arrow(ids::kCalibrationSpin, true),
       {R"(Y\x81\x0D)", R"(Y\x81\x0D)"},
       ids::kCalibrationText,
       "  129"},
      {"calibration down",
       Arrow(ids::kCalibrationSpin, false),
       {R"(Y\x80\x0D)", R"(Y\x80\x0D)"},
       ids::kCalibrationText,
       "  128"},
      {"calibration up, then left unsaved",
       Arrow(ids::kCalibrationSpin, true),
       {R"(Y\x81\x0D)", R"(Y\x81\x0D)"}},
      {"a gate radio ends calibration mode",
       Click(ids::kGate1 + 3),
       {R"(T4\x0D)"},
       ids::kCalibrationText,
       "  128"},
      {"reset", Click(ids::kLevelReset), {R"(L@\x0D)"}, ids::kLevelText, " 0"},
  });
}

}  // namespace
}  // namespace kolvane::test
