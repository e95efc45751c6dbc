#include "panel/model/memory_window.h"

#include <algorithm>

namespace kolvane {

void MemoryWindow::CopyFrom(const MemoryWindow& other) {
  controls_ = other.controls_;
  groups_ = other.groups_;
  checks_ = other.checks_;
  timers_ = other.timers_;
  ++revision_;
}

void MemoryWindow::Bind(CDialog& dialog) {
  dialog_ = &dialog;
  dialog.Attach(this);
}

void MemoryWindow::AddRadioGroup(std::span<const int> ids) {
  groups_.emplace_back(ids.begin(), ids.end());
}

const MemoryControl& MemoryWindow::Get(int id) const {
  static const MemoryControl kNone{};
  auto it = controls_.find(id);
  return it == controls_.end() ? kNone : it->second;
}

MemoryControl& MemoryWindow::Edit(int id) {
  ++revision_;
  return controls_[id];
}

std::span<const int> MemoryWindow::GroupOf(int id) const {
  for (const auto& g : groups_) {
    if (std::find(g.begin(), g.end(), id) != g.end()) return g;
  }
  return {};
}

void MemoryWindow::Send(const Message& m) {
  if (dialog_ != nullptr) dialog_->Dispatch(m);
}

void MemoryWindow::Click(int id) {
  if (const auto g = GroupOf(id); !g.empty()) {
    for (int other : g) Edit(other).check = other == id ? 1 : 0;
  } else if (std::find(checks_.begin(), checks_.end(), id) != checks_.end()) {
    MemoryControl& c = Edit(id);
    c.check = c.check != 0 ? 0 : 1;
  }
  Send({WM_COMMAND, id, BN_CLICKED, 0});
}

void MemoryWindow::SelectEntry(int id, int index) {
  ListSetCurSel(id, index);
  Send({WM_COMMAND, id, LBN_SELCHANGE, 0});
}

void MemoryWindow::SpinTo(int id, int pos) {
  SpinSetPos(id, pos);
  Send({WM_VSCROLL, id, SB_THUMBPOSITION, Get(id).spinPos});
}

void MemoryWindow::SetText(int id, std::string_view text) {
  if (Get(id).text != text) Edit(id).text = std::string(text);
}

void MemoryWindow::ListAddString(int id, std::string_view text) {
  Edit(id).entries.emplace_back(text);
}

void MemoryWindow::ListSetCurSel(int id, int index) {
  const MemoryControl& c = Get(id);
  const int sel = index >= 0 && index < static_cast<int>(c.entries.size()) ? index : -1;
  if (c.curSel != sel) Edit(id).curSel = sel;
}

void MemoryWindow::EnableControl(int id, bool enable) {
  if (Get(id).enabled != enable) Edit(id).enabled = enable;
}

void MemoryWindow::SetCheck(int id, int state) {
  if (Get(id).check != state) Edit(id).check = state;
}

void MemoryWindow::SpinSetRange(int id, int lower, int upper) {
  MemoryControl& c = Edit(id);
  c.spinLower = lower;
  c.spinUpper = upper;
}

void MemoryWindow::SpinSetPos(int id, int pos) {
  const MemoryControl& c = Get(id);
  const int p =
      std::clamp(pos, std::min(c.spinLower, c.spinUpper), std::max(c.spinLower, c.spinUpper));
  if (c.spinPos != p) Edit(id).spinPos = p;
}

void MemoryWindow::ProgressSetRange(int id, int lower, int upper) {
  MemoryControl& c = Edit(id);
  c.progressLower = lower;
  c.progressUpper = upper;
}

void MemoryWindow::ProgressSetPos(int id, int pos) {
  const MemoryControl& c = Get(id);
  const int p = std::clamp(pos, c.progressLower, std::max(c.progressLower, c.progressUpper));
  if (c.progressPos != p) Edit(id).progressPos = p;
}

void MemoryWindow::SetFont(int id, const FontSpec& font) {
  MemoryControl& c = Edit(id);
  c.font = font;
  c.hasFont = true;
}

unsigned MemoryWindow::SetTimer(unsigned id, unsigned periodMs) {
  timers_[id] = periodMs;
  return id;
}

int MemoryWindow::RunModal(CDialog& dialog) {
  MemoryWindow w;
  w.Bind(dialog);
  dialog.OnInitDialog();
  if (answer_) answer_(w, dialog);
  if (!w.ended_) w.Click(IDOK);
  if (!w.ended_) w.EndModal(IDCANCEL);
  dialog.Attach(nullptr);
  return w.endResult_;
}

void MemoryWindow::EndModal(int result) {
  ended_ = true;
  endResult_ = result;
}

}  // namespace kolvane
