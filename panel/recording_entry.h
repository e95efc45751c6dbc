// Recording from the panel: the entry of its system menu asks for a file,
// and from then on every shown result is a row of the logger's CSV, until
// the entry is chosen again, a write fails or the panel closes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "panel/panel_recording.h"
#include "record/recorder.h"

namespace kolvane::record {

// Outside About's 16..31 and below the system's own commands; a multiple
// of 16, since Windows keeps the low four bits of a system command.
inline constexpr int kRecordCommand = 0x100;
inline constexpr std::string_view kRecordMenuText = "Записывать показания в файл...";

// "kolvane-20261207-150405.csv": the name offered for a recording started
// at `wallMs` (UTC), in local time.
std::string DefaultRecordingName(std::int64_t wallMs);

class PanelRecording : public IPanelRecording {
 public:
  using Opener = std::function<std::unique_ptr<std::ostream>(const std::string& utf8Path)>;

  // A new binary file at a UTF-8 path, replacing one of that name; the
  // stream is bad when it could not be opened.
  static std::unique_ptr<std::ostream> OpenFile(const std::string& utf8Path);

  explicit PanelRecording(std::function<Instant()> now = SystemNow, Opener open = OpenFile);
  ~PanelRecording() override;
  PanelRecording(const PanelRecording&) = delete;
  PanelRecording& operator=(const PanelRecording&) = delete;

  void AddMenuEntry(IWindow& window) override;
  bool OnSysCommand(int commandId) override;
  void OnShown(const ShownReading& shown) override;
  void OnPanelClosing() override;

  bool Active() const { return recorder_.has_value(); }
  // The file of the running recording, or of the last one.
  const std::string& Path() const { return path_; }

 private:
  void Start();
  // Closes the file; the window is told unless it is gone.
  void Stop(bool windowGone);

  std::function<Instant()> now_;
  Opener open_;
  IWindow* window_ = nullptr;
  std::string path_;
  std::unique_ptr<std::ostream> file_;
  std::optional<Recorder> recorder_;
};

}  // namespace kolvane::record
