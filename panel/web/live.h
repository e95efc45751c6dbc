// The page's live connection: the panel model's state as JSON for the page
// to show, and the page's messages, which become the desktop user's calls
// on the same model (Click, Select, SpinTo).
//
// To the page: {"type":"state","rev":N,"link":B,"viewOnly":B,"controls":[C...]}
// with C = {"id","text","enabled","check"} and, by kind, "entries"+"sel"
// (lists), "spin":[lower,upper,pos]+"valuetext" (spins), "progress":
// [lower,upper,pos]. A page's first state lists every control, the ones
// after it only those that changed since the one before.
// {"type":"dialog","dialog":T,"control":ID,"open":B,"controls":[C...]} (a
// mode dialog, shown only in the page that clicked: again after each of its
// changes, and once with "open":false when it has ended);
// {"type":"alert","text":S} (a message box).
// From the page: {"click":ID}, {"select":ID,"index":N}, {"spin":ID,"up":B};
// while a mode dialog is open, {"dialog":T,"click":ID} (its OK, or 2 for
// Escape) and {"dialog":T,"select":ID,"index":N}.
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
  // The list's index, or for a spin 1 up and 0 down.
  int value = 0;
  // The template of the mode dialog the command is for; 0: the panel.
  int dialog = 0;
};

// Nothing for a message that is not one of the page's.
std::optional<Command> ParseCommand(std::string_view message);

// {"type":"alert","text":S}: a message box in the page.
std::string AlertMessage(std::string_view text);

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

// The page that clicked, while a mode dialog it opened is open: the dialog
// is held open, as a modal dialog holds the desktop panel, until the page
// answers it.
class DialogPage {
 public:
  virtual ~DialogPage() = default;
  // Sent to that page alone, at once.
  virtual void Show(std::string message) = 0;
  // The page's next command for the dialog; nothing once the page is gone,
  // which closes the dialog as Escape does.
  virtual std::optional<Command> Next() = 0;
};

// Carries out a page's command on the model, as the desktop user's click
// would; what goes back to that page alone (message boxes). A mode dialog
// the click opens is answered by `page`, or closed with OK at once when
// there is none. A control that is disabled, hidden from the user or not of
// the command's kind is not touched.
std::vector<std::string> Run(PanelModel& model, const Command& command, bool viewOnly,
                             DialogPage* page = nullptr);

}  // namespace kolvane::web_panel
