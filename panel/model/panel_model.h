// The front panel with no screen under it: CPanelDlg over a window kept in
// memory. Front ends without a window of their own (the SCPI server, a
// browser) drive the panel through it as a user would, and read what its
// controls show; the panel's rules stay in its handlers alone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "panel/model/memory_window.h"
#include "panel/panel_dlg.h"

namespace kolvane {

class PanelModel : private IOutcomeObserver {
 public:
  PanelModel(ISerialPorts& ports, IClock& clock);
  ~PanelModel() override;
  PanelModel(const PanelModel&) = delete;
  PanelModel& operator=(const PanelModel&) = delete;

  // The panel as it opens, before any port is scanned.
  void Open();
  // Finds the instrument on COMfirst..COMlast as the panel does, telling
  // observer of each port; false when none answered.
  bool Connect(int first, int last, IScanObserver& observer);
  // The panel's readback, up to `attempts` times until a whole reply came;
  // what is waiting on the line is read away first.
  StateReply ReadBack(int attempts);
  // Reads away what the instrument sent while nobody polled.
  void Drain() { panel_.Session().Drain(); }

  // ---- The user ----
  // Each returns how the panel's settings that did not hold ended, if any
  // did not: a refusal first, else the first that failed.
  std::optional<Outcome> Click(int id);
  std::optional<Outcome> Select(int listId, int index);
  std::optional<Outcome> SpinTo(int spinId, int pos);
  // A mode radio whose dialog, if it opens one, is answered with `variant`
  // (its list's entry); the dialog opens on its remembered entry first.
  std::optional<Outcome> ClickMode(int id, int variant);
  // A click whose dialog, if it opens one, is left to `answer` while it is
  // open: a user answering it control by control.
  std::optional<Outcome> ClickAnswering(int id, MemoryWindow::ModalAnswer answer);
  // When a click asked for a readback on the next tick: waits the timer's
  // period and reads back; what the readback gave, if there was one.
  std::optional<StateReply> RunPendingReadBack();

  // ---- What the panel shows ----
  bool Enabled(int id) const { return window_.IsControlEnabled(id); }
  CPanelDlg& Panel() { return panel_; }
  const MemoryWindow& Window() const { return window_; }
  MemoryWindow& Window() { return window_; }
  PanelState& State() { return state_; }
  const PanelState& State() const { return state_; }
  Counter& Instrument() { return panel_.Instrument(); }
  InstrumentSession& Session() { return panel_.Session(); }

  // A copy of this panel over a port that hears nothing and a clock that
  // never waits: clicks tried there show what they would do here.
  std::unique_ptr<PanelModel> Rehearse() const;

 private:
  struct Seams;
  explicit PanelModel(std::unique_ptr<Seams> seams);
  void OnOutcome(const Outcome& outcome) override;
  template <class Action>
  std::optional<Outcome> Act(Action action);

  std::unique_ptr<Seams> ownSeams_;  // a rehearsal's port and clock
  IClock& clock_;
  PanelState state_;
  MemoryWindow window_;
  CPanelDlg panel_;
  std::vector<Outcome> outcomes_;
};

}  // namespace kolvane
