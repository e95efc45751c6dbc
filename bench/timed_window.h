// A window that forwards every operation to the real one and notes, on
// CLOCK_MONOTONIC, when one control's text is set, and how much CPU time the
// calls that change the window cost. Put between the panel and its Qt window,
// it measures without the panel knowing.
#pragma once

#include <vector>

#include "platform/window.h"

namespace kolvane::bench {

class TimedWindow : public IWindow {
 public:
  TimedWindow(IWindow& inner, int watchedId, std::size_t expected);

  // When SetText reached the watched control, in order.
  const std::vector<double>& TextTimes() const { return times_; }
  // CPU time of this thread inside the window's calls, in ms, while counting.
  double CallCpuMs() const { return callCpuNs_ / 1e6; }
  void Count(bool on) { counting_ = on; }

  int RunModal(CDialog& dialog) override;
  void SetText(int id, std::string_view text) override;
  std::string GetText(int id) const override;
  void ListAddString(int id, std::string_view text) override;
  void ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override;
  void EnableControl(int id, bool enable) override;
  bool IsControlEnabled(int id) const override;
  int GetCheck(int id) const override;
  void SetCheck(int id, int state) override;
  void SpinSetRange(int id, int lower, int upper) override;
  void SpinSetPos(int id, int pos) override;
  int SpinGetPos(int id) const override;
  void ProgressSetRange(int id, int lower, int upper) override;
  void ProgressSetPos(int id, int pos) override;
  void SetFont(int id, const FontSpec& font) override;
  unsigned SetTimer(unsigned id, unsigned periodMs) override;
  void KillTimer(unsigned id) override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(int commandId, std::string_view text) override;
  void CheckSystemMenuItem(int commandId, bool checked) override;
  std::optional<std::string> AskSaveFileName(std::string_view title,
                                             std::string_view defaultName) override;
  void ShowMessageBox(std::string_view text) override;
  void SetIcon(int iconResource, bool big) override;
  void EndModal(int result) override;
  void Close() override;

 private:
  // Adds the thread's CPU time from its construction to its end.
  class Timed {
   public:
    explicit Timed(TimedWindow& w);
    ~Timed();

   private:
    TimedWindow& w_;
    long long start_ = 0;
  };

  IWindow& inner_;
  int watchedId_;
  std::vector<double> times_;
  bool counting_ = false;
  long long callCpuNs_ = 0;
};

}  // namespace kolvane::bench
