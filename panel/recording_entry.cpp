#include "panel/recording_entry.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

namespace kolvane::record {

namespace {

// The menu text without its ellipsis titles the save dialog.
constexpr std::string_view kSaveTitle = "Записывать показания в файл";

}  // namespace

std::string DefaultRecordingName(std::int64_t wallMs) {
  const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
  // One thread, so the C library's shared result is safe to copy at once.
  const std::tm* shared = std::localtime(&seconds);
  const std::tm t = shared != nullptr ? *shared : std::tm{};
  char name[128];
  std::snprintf(name, sizeof name, "kolvane-%04d%02d%02d-%02d%02d%02d.csv", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return name;
}

std::unique_ptr<std::ostream> PanelRecording::OpenFile(const std::string& utf8Path) {
  // Through a UTF-8 path, so that a Cyrillic folder name opens on Windows too.
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  return std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
}

PanelRecording::PanelRecording(std::function<Instant()> now, Opener open)
    : now_(std::move(now)), open_(std::move(open)) {}

PanelRecording::~PanelRecording() = default;

void PanelRecording::AddMenuEntry(IWindow& window) {
  window_ = &window;
  window.AppendSystemMenuItem(kRecordCommand, kRecordMenuText);
}

bool PanelRecording::OnSysCommand(int commandId) {
  if ((static_cast<unsigned>(commandId) & 0xFFF0u) != static_cast<unsigned>(kRecordCommand) ||
      window_ == nullptr) {
    return false;
  }
  if (Active()) {
    Stop(false);
  } else {
    Start();
  }
  return true;
}

void PanelRecording::Start() {
  const std::optional<std::string> chosen =
      window_->AskSaveFileName(kSaveTitle, DefaultRecordingName(now_().wallMs));
  if (!chosen) return;
  path_ = *chosen;
  file_ = open_(path_);
  if (file_ && *file_) recorder_.emplace(file_.get(), nullptr, now_);
  if (!recorder_ || recorder_->WriteFailed()) {
    recorder_.reset();
    file_.reset();
    window_->ShowMessageBox("Не удалось начать запись показаний в файл " + path_);
    return;
  }
  window_->CheckSystemMenuItem(kRecordCommand, true);
}

void PanelRecording::Stop(bool windowGone) {
  recorder_.reset();
  file_.reset();
  if (!windowGone) window_->CheckSystemMenuItem(kRecordCommand, false);
}

void PanelRecording::OnShown(const ShownReading& shown) {
  if (!recorder_) return;
  recorder_->OnShown(shown);
  if (!recorder_->WriteFailed()) return;
  Stop(false);
  window_->ShowMessageBox("Запись показаний остановлена: ошибка записи в файл " + path_);
}

void PanelRecording::OnPanelClosing() {
  if (Active()) Stop(true);
  window_ = nullptr;
}

}  // namespace kolvane::record
