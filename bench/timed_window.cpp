#include "bench/timed_window.h"

#include <ctime>

#include "bench/report.h"

namespace kolvane::bench {

TimedWindow::TimedWindow(IWindow& inner, int watchedId, std::size_t expected)
    : inner_(inner), watchedId_(watchedId) {
  // Reserved up front, so that noting a time does not allocate during the run.
  times_.reserve(expected);
}

namespace {

long long ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

}  // namespace

TimedWindow::Timed::Timed(TimedWindow& w) : w_(w) {
  if (w_.counting_) start_ = ThreadCpuNs();
}

TimedWindow::Timed::~Timed() {
  if (w_.counting_ && start_ != 0) w_.callCpuNs_ += ThreadCpuNs() - start_;
}

void TimedWindow::SetText(int id, std::string_view text) {
  {
    Timed t(*this);
    inner_.SetText(id, text);
  }
  // After the real call: the time the text is in the widget.
  if (id == watchedId_) times_.push_back(MonotonicMs());
}

int TimedWindow::RunModal(CDialog& dialog) {
  return inner_.RunModal(dialog);
}
std::string TimedWindow::GetText(int id) const {
  return inner_.GetText(id);
}
void TimedWindow::ListAddString(int id, std::string_view text) {
  inner_.ListAddString(id, text);
}
void TimedWindow::ListSetCurSel(int id, int index) {
  Timed t(*this);
  inner_.ListSetCurSel(id, index);
}
int TimedWindow::ListGetCurSel(int id) const {
  return inner_.ListGetCurSel(id);
}
void TimedWindow::EnableControl(int id, bool enable) {
  Timed t(*this);
  inner_.EnableControl(id, enable);
}
bool TimedWindow::IsControlEnabled(int id) const {
  return inner_.IsControlEnabled(id);
}
int TimedWindow::GetCheck(int id) const {
  return inner_.GetCheck(id);
}
void TimedWindow::SetCheck(int id, int state) {
  Timed t(*this);
  inner_.SetCheck(id, state);
}
void TimedWindow::SpinSetRange(int id, int lower, int upper) {
  inner_.SpinSetRange(id, lower, upper);
}
void TimedWindow::SpinSetPos(int id, int pos) {
  inner_.SpinSetPos(id, pos);
}
int TimedWindow::SpinGetPos(int id) const {
  return inner_.SpinGetPos(id);
}
void TimedWindow::ProgressSetRange(int id, int lower, int upper) {
  Timed t(*this);
  inner_.ProgressSetRange(id, lower, upper);
}
void TimedWindow::ProgressSetPos(int id, int pos) {
  Timed t(*this);
  inner_.ProgressSetPos(id, pos);
}
void TimedWindow::SetFont(int id, const FontSpec& font) {
  Timed t(*this);
  inner_.SetFont(id, font);
}
unsigned TimedWindow::SetTimer(unsigned id, unsigned periodMs) {
  return inner_.SetTimer(id, periodMs);
}
void TimedWindow::KillTimer(unsigned id) {
  inner_.KillTimer(id);
}
void TimedWindow::AppendSystemMenuSeparator() {
  inner_.AppendSystemMenuSeparator();
}
void TimedWindow::AppendSystemMenuItem(int commandId, std::string_view text) {
  inner_.AppendSystemMenuItem(commandId, text);
}
void TimedWindow::CheckSystemMenuItem(int commandId, bool checked) {
  inner_.CheckSystemMenuItem(commandId, checked);
}
std::optional<std::string> TimedWindow::AskSaveFileName(std::string_view title,
                                                        std::string_view defaultName) {
  return inner_.AskSaveFileName(title, defaultName);
}
void TimedWindow::ShowMessageBox(std::string_view text) {
  inner_.ShowMessageBox(text);
}
void TimedWindow::SetIcon(int iconResource, bool big) {
  inner_.SetIcon(iconResource, big);
}
void TimedWindow::EndModal(int result) {
  inner_.EndModal(result);
}
void TimedWindow::Close() {
  inner_.Close();
}

}  // namespace kolvane::bench
