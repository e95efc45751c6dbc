// The panel's window kept in memory, with a record of everything done to
// it. Tests act as the user through Click, SelectEntry and SpinClick, which
// change the control as Win32 would and then deliver the notification.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "panel/model/memory_window.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {

using FakeControl = MemoryControl;

struct TimerState {
  unsigned period = 0;
  std::uint64_t due = 0;
};

class FakeWindow : public MemoryWindow {
 public:
  using ModalScript = std::function<void(FakeWindow& dialogWindow, CDialog& dialog)>;

  explicit FakeWindow(VirtualClock& clock) : clock_(clock) {}

  void AddRadioGroup(std::vector<int> ids) { MemoryWindow::AddRadioGroup(ids); }
  // A click on the spin's arrow: one step, then the end of the scroll.
  void SpinClick(int id, bool up);
  // What the next modal dialog does once open; without a script it is
  // closed with OK.
  void QueueModal(ModalScript script) { modalScripts_.push_back(std::move(script)); }

  // ---- IWindow, recorded ----
  void SetText(int id, std::string_view text) override;
  void ProgressSetPos(int id, int pos) override;
  unsigned SetTimer(unsigned id, unsigned periodMs) override;
  void KillTimer(unsigned id) override;
  void AppendSystemMenuSeparator() override { systemMenu.push_back({0, ""}); }
  void AppendSystemMenuItem(int commandId, std::string_view text) override {
    systemMenu.push_back({commandId, std::string(text)});
  }
  void CheckSystemMenuItem(int commandId, bool checked) override {
    systemMenuChecks[commandId] = checked;
  }
  // Answers with the next of saveAnswers; cancelled when none is left.
  std::optional<std::string> AskSaveFileName(std::string_view title,
                                             std::string_view defaultName) override;
  void ShowMessageBox(std::string_view text) override { messageBoxes.emplace_back(text); }
  void SetIcon(int iconResource, bool big) override { icons.push_back({iconResource, big}); }
  int RunModal(CDialog& dialog) override;
  void EndModal(int result) override;
  void Close() override { closeRequested = true; }

  // ---- Inspection ----
  FakeControl& Control(int id) { return Edit(id); }
  // Every text written, in order, as (control id, text).
  std::vector<std::pair<int, std::string>> textLog;
  std::vector<std::string> TextsOf(int id) const;
  std::vector<int> progressLog;  // every position set on any progress bar
  std::map<unsigned, TimerState> timers;
  std::vector<std::pair<unsigned, unsigned>> timerStarts;  // (id, period)
  std::vector<unsigned> timerKills;
  std::vector<std::pair<int, std::string>> systemMenu;
  std::map<int, bool> systemMenuChecks;
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<std::pair<std::string, std::string>> saveRequests;  // (title, default name)
  std::vector<std::string> messageBoxes;
  std::vector<std::pair<int, bool>> icons;
  std::vector<int> modalTemplates;  // templates of the dialogs run, in order
  std::vector<std::unique_ptr<FakeWindow>> modalWindows;
  bool closeRequested = false;
  bool ended = false;
  int endResult = 0;

 private:
  VirtualClock& clock_;
  std::deque<ModalScript> modalScripts_;
};

}  // namespace kolvane::test
