#include "panel/web/live.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "panel/model/panel_model.h"
#include "resources/ids.h"
#include "resources/layout.h"

namespace kolvane::web_panel {

namespace {

using json = nlohmann::json;
using layout::Kind;

const layout::DialogTemplate& PanelTemplate() {
  return *layout::FindTemplate(ids::kPanelDialog);
}

// The integer at `key`, when it is one that fits an int.
std::optional<int> IntAt(const json& j, const char* key) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_number_integer()) return std::nullopt;
  const auto v = it->get<long long>();
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(v);
}

// Invalid UTF-8 in a control's text must not make the message unsendable.
std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

json ControlState(const MemoryWindow& w, const layout::DialogTemplate& d, std::size_t i) {
  const layout::Control& c = d.controls[i];
  const MemoryControl& m = w.Get(c.id);
  json j = {{"id", c.id}, {"text", m.text}, {"enabled", m.enabled}, {"check", m.check}};
  if (c.kind == Kind::kListBox) {
    j["entries"] = m.entries;
    j["sel"] = m.curSel;
  } else if (c.kind == Kind::kSpin) {
    j["spin"] = {m.spinLower, m.spinUpper, m.spinPos};
    // The text beside it: its buddy, the control before it.
    j["valuetext"] = i > 0 ? w.Get(d.controls[i - 1].id).text : std::string();
  } else if (c.kind == Kind::kProgress) {
    j["progress"] = {m.progressLower, m.progressUpper, m.progressPos};
  }
  return j;
}

json Controls(const MemoryWindow& w, const layout::DialogTemplate& d) {
  json out = json::array();
  for (std::size_t i = 0; i < d.controls.size(); ++i) {
    if (d.controls[i].id != -1) out.push_back(ControlState(w, d, i));
  }
  return out;
}

bool Clickable(Kind k) {
  return k == Kind::kRadio || k == Kind::kCheck || k == Kind::kPushButton ||
         k == Kind::kDefPushButton;
}

json DialogMessage(const MemoryWindow& w, const layout::DialogTemplate& t, int control, bool open) {
  return {{"type", "dialog"},
          {"dialog", t.id},
          {"control", control},
          {"open", open},
          {"controls", Controls(w, t)}};
}

// Escape, as the dialog's window gets it.
void Escape(MemoryWindow& w) {
  w.Send({WM_COMMAND, IDCANCEL, BN_CLICKED, 0});
}

// The dialog a click opened, held open until its page ends it: each choice
// goes to the dialog's handlers, which talk to the instrument then and
// there, and the page sees the dialog as they leave it.
void AnswerOnPage(MemoryWindow& w, const CDialog& dialog, int control, DialogPage& page) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return;
  while (!w.Ended()) {
    page.Show(Dump(DialogMessage(w, *t, control, true)));
    const std::optional<Command> c = page.Next();
    if (!c) {
      Escape(w);
      break;
    }
    if (c->dialog != t->id) continue;
    if (c->kind == Command::Kind::kClick && c->id == IDCANCEL) {
      Escape(w);
    } else if (c->kind == Command::Kind::kClick && c->id == IDOK) {
      w.Click(IDOK);
    } else if (c->kind == Command::Kind::kSelect && c->id == ids::kDialogList &&
               static_cast<std::size_t>(c->value) < w.Get(c->id).entries.size()) {
      w.SelectEntry(c->id, c->value);
    }
  }
  page.Show(Dump(DialogMessage(w, *t, control, false)));
}

}  // namespace

std::optional<Command> ParseCommand(std::string_view message) {
  if (message.size() > kMaxMessageBytes) return std::nullopt;
  const json j = json::parse(message, nullptr, false);
  if (!j.is_object()) return std::nullopt;
  int dialog = 0;
  if (j.contains("dialog")) {
    const auto d = IntAt(j, "dialog");
    if (!d || *d <= 0) return std::nullopt;
    dialog = *d;
  }
  if (const auto id = IntAt(j, "click")) {
    return Command{Command::Kind::kClick, *id, 0, dialog};
  }
  if (const auto id = IntAt(j, "select")) {
    const auto index = IntAt(j, "index");
    if (!index || *index < 0) return std::nullopt;
    return Command{Command::Kind::kSelect, *id, *index, dialog};
  }
  if (const auto id = IntAt(j, "spin"); id && dialog == 0) {
    const auto up = j.find("up");
    if (up == j.end() || !up->is_boolean()) return std::nullopt;
    return Command{Command::Kind::kSpin, *id, up->get<bool>() ? 1 : 0};
  }
  return std::nullopt;
}

std::string AlertMessage(std::string_view text) {
  return Dump({{"type", "alert"}, {"text", text}});
}

namespace {

std::string State(const MemoryWindow& w, bool linkUp, bool viewOnly, json controls) {
  return Dump({{"type", "state"},
               {"rev", w.Revision()},
               {"link", linkUp},
               {"viewOnly", viewOnly},
               {"controls", std::move(controls)}});
}

}  // namespace

std::string StateMessage(const PanelModel& model, bool linkUp, bool viewOnly) {
  return State(model.Window(), linkUp, viewOnly, Controls(model.Window(), PanelTemplate()));
}

// The template's controls as the pages last had them, by index.
struct StateWatch::Shown {
  std::vector<MemoryControl> controls;
};

namespace {

// What a page shows of a control (the font aside).
bool SameOnPage(const MemoryControl& a, const MemoryControl& b) {
  return a.text == b.text && a.entries == b.entries && a.curSel == b.curSel &&
         a.enabled == b.enabled && a.check == b.check && a.spinLower == b.spinLower &&
         a.spinUpper == b.spinUpper && a.spinPos == b.spinPos &&
         a.progressLower == b.progressLower && a.progressUpper == b.progressUpper &&
         a.progressPos == b.progressPos;
}

}  // namespace

StateWatch::StateWatch() : controls_(std::make_unique<Shown>()) {}
StateWatch::~StateWatch() = default;

std::optional<std::string> StateWatch::Changed(const PanelModel& model, bool linkUp,
                                               bool viewOnly) {
  const MemoryWindow& w = model.Window();
  if (shown_ && w.Revision() == revision_ && linkUp == linkUp_) return std::nullopt;
  // Sent whole, a state is 2.7 kB, 50 times a second to every page, and
  // most times the reading alone has changed: the fields are compared, and
  // only what changed becomes JSON.
  const layout::DialogTemplate& d = PanelTemplate();
  const bool linkChanged = !shown_ || linkUp != linkUp_;
  std::vector<MemoryControl>& last = controls_->controls;
  if (!shown_) last.assign(d.controls.size(), MemoryControl{});
  json changed = json::array();
  bool buddyChanged = false;  // a spin's text is the control's before it
  for (std::size_t i = 0; i < d.controls.size(); ++i) {
    if (d.controls[i].id == -1) continue;
    const MemoryControl& now = w.Get(d.controls[i].id);
    const bool same = shown_ && SameOnPage(now, last[i]);
    if (!same || (buddyChanged && d.controls[i].kind == Kind::kSpin)) {
      changed.push_back(ControlState(w, d, i));
    }
    if (!same) last[i] = now;
    buddyChanged = !same;
  }
  shown_ = true;
  revision_ = w.Revision();
  linkUp_ = linkUp;
  // A change no page shows (a font): nothing to send.
  if (changed.empty() && !linkChanged) return std::nullopt;
  return State(w, linkUp, viewOnly, std::move(changed));
}

std::vector<std::string> Run(PanelModel& model, const Command& command, bool viewOnly,
                             DialogPage* page) {
  if (viewOnly) return {AlertMessage(kViewOnlyText)};
  // A dialog's command with no dialog open: it has ended meanwhile.
  if (command.dialog != 0) return {};
  const layout::Control* c = layout::FindControl(PanelTemplate(), command.id);
  if (c == nullptr || (c->styles & layout::style::kHidden) != 0 || !model.Enabled(c->id)) {
    return {};
  }
  const std::size_t boxes = model.Window().MessageBoxes().size();
  switch (command.kind) {
    case Command::Kind::kClick:
      if (!Clickable(c->kind)) return {};
      if (page == nullptr) {
        model.Click(c->id);
      } else {
        model.ClickAnswering(c->id, [&](MemoryWindow& w, CDialog& dialog) {
          AnswerOnPage(w, dialog, c->id, *page);
        });
      }
      break;
    case Command::Kind::kSelect: {
      if (c->kind != Kind::kListBox) return {};
      const auto& entries = model.Window().Get(c->id).entries;
      if (static_cast<std::size_t>(command.value) >= entries.size()) return {};
      model.Select(c->id, command.value);
      break;
    }
    case Command::Kind::kSpin: {
      if (c->kind != Kind::kSpin) return {};
      // As the up-down control steps: up is towards `upper`, whichever
      // way the range runs.
      const MemoryControl& s = model.Window().Get(c->id);
      const int step = (s.spinUpper >= s.spinLower) == (command.value == 1) ? 1 : -1;
      const int pos = std::clamp(s.spinPos + step, std::min(s.spinLower, s.spinUpper),
                                 std::max(s.spinLower, s.spinUpper));
      model.SpinTo(c->id, pos);
      break;
    }
  }
  std::vector<std::string> out;
  const auto& all = model.Window().MessageBoxes();
  for (std::size_t i = boxes; i < all.size(); ++i) out.push_back(AlertMessage(all[i]));
  return out;
}

}  // namespace kolvane::web_panel
