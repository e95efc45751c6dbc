// A window of controls kept in memory. Tests act as the user through
// Click, SelectEntry and SpinClick, which change the control as Win32 would
// and then deliver the notification to the attached dialog.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/window.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {

struct FakeControl {
  std::string text;
  std::vector<std::string> entries;
  int curSel = -1;
  bool enabled = true;
  int check = 0;
  int spinLower = 0, spinUpper = 100, spinPos = 0;
  int progressLower = 0, progressUpper = 100, progressPos = 0;
  FontSpec font;
  bool hasFont = false;
};

struct TimerState {
  unsigned period = 0;
  std::uint64_t due = 0;
};

class FakeWindow : public IWindow {
 public:
  using ModalScript = std::function<void(FakeWindow& dialogWindow, CDialog& dialog)>;

  explicit FakeWindow(VirtualClock& clock) : clock_(clock) {}

  // The dialog whose handlers receive this window's notifications.
  void Bind(CDialog& dialog) {
    dialog_ = &dialog;
    dialog.Attach(this);
  }
  // Radio groups, so that a click unchecks the group's other buttons.
  void AddRadioGroup(std::vector<int> ids) { groups_.push_back(std::move(ids)); }
  void AddCheckBox(int id) { checks_.push_back(id); }

  // ---- The user ----
  void Click(int id);
  void SelectEntry(int id, int index);
  void SpinClick(int id, bool up);
  void Send(const Message& m);
  // What the next modal dialog does once open; without a script it is
  // closed with OK.
  void QueueModal(ModalScript script) { modalScripts_.push_back(std::move(script)); }

  // ---- IWindow ----
  void SetText(int id, std::string_view text) override;
  std::string GetText(int id) const override { return Get(id).text; }
  void ListAddString(int id, std::string_view text) override;
  void ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override { return Get(id).curSel; }
  void EnableControl(int id, bool enable) override { controls_[id].enabled = enable; }
  bool IsControlEnabled(int id) const override { return Get(id).enabled; }
  int GetCheck(int id) const override { return Get(id).check; }
  void SetCheck(int id, int state) override { controls_[id].check = state; }
  void SpinSetRange(int id, int lower, int upper) override;
  void SpinSetPos(int id, int pos) override;
  int SpinGetPos(int id) const override { return Get(id).spinPos; }
  void ProgressSetRange(int id, int lower, int upper) override;
  void ProgressSetPos(int id, int pos) override;
  void SetFont(int id, const FontSpec& font) override;
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
  const FakeControl& Get(int id) const;
  FakeControl& Control(int id) { return controls_[id]; }
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
  const std::vector<int>* GroupOf(int id) const;

  VirtualClock& clock_;
  CDialog* dialog_ = nullptr;
  std::map<int, FakeControl> controls_;
  std::vector<std::vector<int>> groups_;
  std::vector<int> checks_;
  std::deque<ModalScript> modalScripts_;
};

}  // namespace kolvane::test
