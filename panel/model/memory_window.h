// A window of controls kept in memory: the panel with no screen under it.
// A driver acts as the user through Click, SelectEntry and SpinTo, which
// change the control as Win32 would and then deliver the notification.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/window.h"

namespace kolvane {

struct MemoryControl {
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

class MemoryWindow : public IWindow {
 public:
  // What a driver does in a modal dialog once it is open; without an answer
  // the dialog is closed with OK.
  using ModalAnswer = std::function<void(MemoryWindow& dialogWindow, CDialog& dialog)>;

  MemoryWindow() = default;
  // Takes the controls, groups and timers of another window; not its dialog.
  void CopyFrom(const MemoryWindow& other);

  // The dialog whose handlers receive this window's notifications.
  void Bind(CDialog& dialog);
  // Radio groups, so that a click unchecks the group's other buttons.
  void AddRadioGroup(std::span<const int> ids);
  void AddCheckBox(int id) { checks_.push_back(id); }
  void AnswerModals(ModalAnswer answer) { answer_ = std::move(answer); }

  // ---- The user ----
  void Click(int id);
  void SelectEntry(int id, int index);
  // The spin moved to pos (clamped to its range), as one scroll message.
  void SpinTo(int id, int pos);
  void Send(const Message& m);

  // ---- IWindow ----
  void SetText(int id, std::string_view text) override;
  std::string GetText(int id) const override { return Get(id).text; }
  void ListAddString(int id, std::string_view text) override;
  void ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override { return Get(id).curSel; }
  void EnableControl(int id, bool enable) override;
  bool IsControlEnabled(int id) const override { return Get(id).enabled; }
  int GetCheck(int id) const override { return Get(id).check; }
  void SetCheck(int id, int state) override;
  void SpinSetRange(int id, int lower, int upper) override;
  void SpinSetPos(int id, int pos) override;
  int SpinGetPos(int id) const override { return Get(id).spinPos; }
  void ProgressSetRange(int id, int lower, int upper) override;
  void ProgressSetPos(int id, int pos) override;
  void SetFont(int id, const FontSpec& font) override;
  unsigned SetTimer(unsigned id, unsigned periodMs) override;
  void KillTimer(unsigned id) override { timers_.erase(id); }
  void AppendSystemMenuSeparator() override {}
  void AppendSystemMenuItem(int, std::string_view) override {}
  void CheckSystemMenuItem(int, bool) override {}
  void SetIcon(int, bool) override {}
  // No one here to choose a file.
  std::optional<std::string> AskSaveFileName(std::string_view, std::string_view) override {
    return std::nullopt;
  }
  void ShowMessageBox(std::string_view text) override { messageBoxes_.emplace_back(text); }
  int RunModal(CDialog& dialog) override;
  void EndModal(int result) override;
  void Close() override {}

  // ---- Inspection ----
  const MemoryControl& Get(int id) const;
  // The running timers by id, with their periods.
  const std::map<unsigned, unsigned>& Timers() const { return timers_; }
  const std::vector<std::string>& MessageBoxes() const { return messageBoxes_; }
  // Counts every change of a control's state; a view redraws when it moved.
  std::uint64_t Revision() const { return revision_; }
  // A modal dialog's window: whether the dialog has ended.
  bool Ended() const { return ended_; }

 protected:
  // A control to change; counts as a change of the window.
  MemoryControl& Edit(int id);

 private:
  std::span<const int> GroupOf(int id) const;

  CDialog* dialog_ = nullptr;
  std::map<int, MemoryControl> controls_;
  std::vector<std::vector<int>> groups_;
  std::vector<int> checks_;
  std::map<unsigned, unsigned> timers_;
  std::vector<std::string> messageBoxes_;
  ModalAnswer answer_;
  bool ended_ = false;
  int endResult_ = 0;
  std::uint64_t revision_ = 0;
};

}  // namespace kolvane
