#include "tests/support/fake_window.h"

#include <algorithm>

namespace kolvane::test {

const FakeControl& FakeWindow::Get(int id) const {
  static const FakeControl kNone{};
  auto it = controls_.find(id);
  return it == controls_.end() ? kNone : it->second;
}

const std::vector<int>* FakeWindow::GroupOf(int id) const {
  for (const auto& g : groups_) {
    if (std::find(g.begin(), g.end(), id) != g.end()) return &g;
  }
  return nullptr;
}

void FakeWindow::Send(const Message& m) {
  if (dialog_ != nullptr) dialog_->Dispatch(m);
}

void FakeWindow::Click(int id) {
  if (const auto* g = GroupOf(id)) {
    for (int other : *g) controls_[other].check = other == id ? 1 : 0;
  } else if (std::find(checks_.begin(), checks_.end(), id) != checks_.end()) {
    controls_[id].check = controls_[id].check != 0 ? 0 : 1;
  }
  Send({WM_COMMAND, id, BN_CLICKED, 0});
}

void FakeWindow::SelectEntry(int id, int index) {
  controls_[id].curSel = index;
  Send({WM_COMMAND, id, LBN_SELCHANGE, 0});
}

void FakeWindow::SpinClick(int id, bool up) {
  FakeControl& c = controls_[id];
  const int lo = std::min(c.spinLower, c.spinUpper);
  const int hi = std::max(c.spinLower, c.spinUpper);
  const int step = (c.spinUpper >= c.spinLower) == up ? 1 : -1;
  c.spinPos = std::clamp(c.spinPos + step, lo, hi);
  Send({WM_VSCROLL, id, SB_THUMBPOSITION, c.spinPos});
  Send({WM_VSCROLL, id, SB_ENDSCROLL, c.spinPos});
}

void FakeWindow::SetText(int id, std::string_view text) {
  controls_[id].text = std::string(text);
  textLog.emplace_back(id, std::string(text));
}

std::vector<std::string> FakeWindow::TextsOf(int id) const {
  std::vector<std::string> out;
  for (const auto& [cid, text] : textLog) {
    if (cid == id) out.push_back(text);
  }
  return out;
}

void FakeWindow::ListAddString(int id, std::string_view text) {
  controls_[id].entries.emplace_back(text);
}

void FakeWindow::ListSetCurSel(int id, int index) {
  FakeControl& c = controls_[id];
  c.curSel = index >= 0 && index < static_cast<int>(c.entries.size()) ? index : -1;
}

void FakeWindow::SpinSetRange(int id, int lower, int upper) {
  controls_[id].spinLower = lower;
  controls_[id].spinUpper = upper;
}

void FakeWindow::SpinSetPos(int id, int pos) {
  FakeControl& c = controls_[id];
  c.spinPos =
      std::clamp(pos, std::min(c.spinLower, c.spinUpper), std::max(c.spinLower, c.spinUpper));
}

void FakeWindow::ProgressSetRange(int id, int lower, int upper) {
  controls_[id].progressLower = lower;
  controls_[id].progressUpper = upper;
}

void FakeWindow::ProgressSetPos(int id, int pos) {
  FakeControl& c = controls_[id];
  progressLog.push_back(pos);
  c.progressPos = std::clamp(pos, c.progressLower, std::max(c.progressLower, c.progressUpper));
}

void FakeWindow::SetFont(int id, const FontSpec& font) {
  controls_[id].font = font;
  controls_[id].hasFont = true;
}

unsigned FakeWindow::SetTimer(unsigned id, unsigned periodMs) {
  timers[id] = TimerState{periodMs, clock_.now + periodMs};
  timerStarts.emplace_back(id, periodMs);
  return id;
}

void FakeWindow::KillTimer(unsigned id) {
  timers.erase(id);
  timerKills.push_back(id);
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
}

}  // namespace kolvane::test
