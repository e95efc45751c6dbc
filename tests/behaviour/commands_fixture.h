// A started panel on an instrument that answers the setup frames as a test
// says, by default with one CR at once. Each bench is a fresh panel, so a
// table of cases can build one per row.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/panel_harness.h"

namespace kolvane::test {

// The failure texts, spelled out here rather than taken from the code.
inline std::string NoReply(std::size_t blanks) {
  return "Нет отклика от прибора" + std::string(blanks, ' ');
}
inline std::string NoUsb(std::size_t blanks) {
  return "Нет передачи данных по USB" + std::string(blanks, ' ');
}
inline const std::string kBufferEmpty = "Буфер передачи пуст.";
inline const std::string kMessageBlank(36, ' ');

class CommandBench {
 public:
  using Answer = std::function<std::string(const std::string& frame)>;

  explicit CommandBench(bool withInstrument = true) {
    if (!withInstrument) {
      h.Init();
      Watch();
      return;
    }
    h.InstrumentOn(1);
    started = h.Init();
    AnswerWith([](const std::string&) { return std::string("\r"); });
    h.TakeFrames();
    writeMark = h.ports.writes.size();
    h.ports.reads.clear();
    h.window.timerStarts.clear();
    h.window.timerKills.clear();
    h.window.textLog.clear();
    h.clock.sleeps.clear();
  }

  // The instrument's answer to each frame, arriving at once.
  void AnswerWith(Answer answer) {
    answer_ = std::move(answer);
    Watch();
  }
  void Silent() {
    AnswerWith([](const std::string&) { return std::string(); });
  }

  std::vector<std::string> Frames() { return h.TakeFrames(); }
  bool Enabled(int id) const { return h.window.IsControlEnabled(id); }
  void SetEnabled(std::initializer_list<int> ids, bool on) {
    for (int id : ids) h.window.EnableControl(id, on);
  }
  int Checked(int id) const { return h.window.GetCheck(id); }
  std::string Message() const { return h.Message(); }
  // The period of the last timer start, 0 when none.
  unsigned LastPeriod() const {
    return h.window.timerStarts.empty() ? 0 : h.window.timerStarts.back().second;
  }
  bool TimerRunning() const { return h.window.timers.count(1) != 0; }
  // A calibration step that was never saved, for the handlers to undo.
  void StepCalibrationUnsaved(int pos = 140) {
    h.window.SpinSetPos(1108, pos);
    h.window.SetText(1106, "  " + std::to_string(pos));
    h.state.calibrationMode = 1;
  }
  bool CalibrationReverted() const {
    return h.window.SpinGetPos(1108) == h.state.calibrationCode &&
           h.window.GetText(1106) == "  " + std::to_string(h.state.calibrationCode);
  }

  // The writes since the bench was ready.
  std::vector<WriteRecord> Writes() const {
    return {h.ports.writes.begin() + static_cast<std::ptrdiff_t>(writeMark), h.ports.writes.end()};
  }

  PanelHarness h;
  bool started = false;
  std::size_t writeMark = 0;
  // Whether the poll timer ran when each frame was written.
  std::vector<bool> timerRunningAtWrite;

 private:
  void Watch() {
    h.ports.OnWrite([this](ScriptedPorts& p, const std::vector<std::uint8_t>& frame) {
      timerRunningAtWrite.push_back(h.window.timers.count(1) != 0);
      if (answer_) p.Reply(answer_(std::string(frame.begin(), frame.end())));
    });
  }

  Answer answer_;
};

}  // namespace kolvane::test
