#include "tests/support/fake_window.h"

#include <algorithm>

namespace kolvane::test {

void FakeWindow::SpinClick(int id, bool up) {
  const FakeControl& c = Get(id);
  const int lo = std::min(c.spinLower, c.spinUpper);
  const int hi = std::max(c.spinLower, c.spinUpper);
  const int step = (c.spinUpper >= c.spinLower) == up ? 1 : -1;
  const int pos = std::clamp(c.spinPos + step, lo, hi);
  SpinSetPos(id, pos);
  Send({WM_VSCROLL, id, SB_THUMBPOSITION, pos});
  Send({WM_VSCROLL, id, SB_ENDSCROLL, pos});
}

void FakeWindow::SetText(int id, std::string_view text) {
  Edit(id).text = std::string(text);
  textLog.emplace_back(id, std::string(text));
}

std::vector<std::string> FakeWindow::TextsOf(int id) const {
  std::vector<std::string> out;
  for (const auto& [cid, text] : textLog) {
    if (cid == id) out.push_back(text);
  }
  return out;
}

void FakeWindow::ProgressSetPos(int id, int pos) {
  progressLog.push_back(pos);
  MemoryWindow::ProgressSetPos(id, pos);
}

unsigned FakeWindow::SetTimer(unsigned id, unsigned periodMs) {
  timers[id] = TimerState{periodMs, clock_.now + periodMs};
  timerStarts.emplace_back(id, periodMs);
  return MemoryWindow::SetTimer(id, periodMs);
}

void FakeWindow::KillTimer(unsigned id) {
  timers.erase(id);
  timerKills.push_back(id);
  MemoryWindow::KillTimer(id);
}

int FakeWindow::RunModal(CDialog& dialog) {
  modalTemplates.push_back(dialog.TemplateId());
  auto child = std::make_unique<FakeWindow>(clock_);
  FakeWindow& w = *child;
  modalWindows.push_back(std::move(child));
  w.Bind(dialog);
  dialog.OnInitDialog();
  if (!modalScripts_.empty()) {
    ModalScript script = std::move(modalScripts_.front());
    modalScripts_.pop_front();
    script(w, dialog);
  }
  if (!w.ended) w.Click(IDOK);
  if (!w.ended) w.EndModal(IDCANCEL);
  dialog.Attach(nullptr);
  return w.endResult;
}

std::optional<std::string> FakeWindow::AskSaveFileName(std::string_view title,
                                                       std::string_view defaultName) {
  saveRequests.emplace_back(title, defaultName);
  if (saveAnswers.empty()) return std::nullopt;
  std::optional<std::string> answer = std::move(saveAnswers.front());
  saveAnswers.pop_front();
  return answer;
}

void FakeWindow::EndModal(int result) {
  ended = true;
  endResult = result;
  MemoryWindow::EndModal(result);
}

}  // namespace kolvane::test
