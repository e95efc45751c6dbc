// The page's live connection: the panel model's state as JSON for the page
// to show, and the page's messages, which become the desktop user's calls
// on the same model (Click, ClickMode, Select, SpinTo).
//
// To the page: {"type":"state","rev":N,"link":B,"viewOnly":B,"controls":[C...]}
// with C = {"id","text","enabled","check"} and, by kind, "entries"+"sel"
// (lists), "spin":[lower,upper,pos]+"valuetext" (spins), "progress":
// [lower,upper,pos]. A page's first state lists every control; the ones
// after it only those that changed since the one before;
// {"type":"dialog","dialog":T,"control":ID,"controls":[C...]} (a mode dialog to show in the page
// that clicked); {"type":"alert","text":S} (a message box). From the page: {"click":ID} or
// {"click":ID,"variant":N} (a mode dialog answered), {"select":ID,"index":N}, {"spin":ID,"up":B}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane {
class PanelModel;
}

namespace kolvane::web_panel {

// Larger messages are refused unread (WebSocket close 1009).
inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;

inline constexpr std::string_view kViewOnlyText =
    "Только просмотр: изменения с этой страницы отключены";

struct Command {
  enum class Kind { kClick, kSelect, kSpin };
  Kind kind = Kind::kClick;
  int id = 0;
  // The variant a mode dialog was answered with, the list's index, or for
  // a spin 1 up and 0 down; -1: a click with no dialog answered yet.
  int value = -1;
};

// Nothing for a message that is not one of the page's.
std::optional<Command> ParseCommand(std::string_view message);

// The panel's controls as the model holds them.
std::string StateMessage(const PanelModel& model, bool linkUp, bool viewOnly);

// What the pages were last shown: a state again only when a control or the
// link changed since, with the controls that changed (all, the first time).
// Every page must have had the one before, or a whole state since.
class StateWatch {
 public:
  StateWatch();
  ~StateWatch();
  std::optional<std::string> Changed(const PanelModel& model, bool linkUp, bool viewOnly);

 private:
  struct Shown;
  std::uint64_t revision_ = 0;
  bool linkUp_ = false;
  bool shown_ = false;
  std::unique_ptr<Shown> controls_;
};

// Carries out a page's command on the model, as the desktop user's click
// would; what goes back to that page alone (a mode dialog to answer,
// message boxes). A control that is disabled, hidden from the user or not
// of the command's kind is not touched.
std::vector<std::string> Run(PanelModel& model, const Command& command, bool viewOnly);

}  // namespace kolvane::web_panel
