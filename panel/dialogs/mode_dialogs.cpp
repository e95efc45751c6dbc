// The mode dialogs send the chosen variant at once: on opening for the
// choice remembered from last time, and again at every change of selection.
#include "panel/dialogs/mode_dialogs.h"

#include <cstdint>
#include <span>
#include <string>

#include "panel/panel_dlg.h"
#include "protocol/frames.h"

namespace kolvane {

namespace {

// A dialog's entries, and the counter's operation that sets the entry's variant.
struct ModeVariants {
  std::span<const char* const> entries;
  Outcome (Counter::*set)(int variant);
};

constexpr const char* kCountEntries[] = {"Счет по длительности", "Счет по периоду"};
constexpr const char* kDurationEntries[] = {"DL1", "DL2", "DL3", "DL4"};
constexpr const char* kRatioEntries[] = {"A/C", "C/A", "B/C"};

constexpr ModeVariants kCountVariants{kCountEntries, &Counter::SetCountMode};
constexpr ModeVariants kDurationVariants{kDurationEntries, &Counter::SetDurationMode};

template <class T>
bool InTable(std::span<const T> table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < table.size();
}

// These dialogs have no message field: a missing answer goes unreported.
void SendModeVariant(CPanelDlg& panel, const ModeVariants& table, int index) {
  if (!InTable(table.entries, index)) return;
  panel.State().measurementArmed = 0;
  panel.NoteOutcome((panel.Instrument().*table.set)(index));
}

void OpenModeVariants(CPanelDlg& panel, IWindow& w, const ModeVariants& table,
                      std::int32_t& choice) {
  for (const char* entry : table.entries) w.ListAddString(ids::kDialogList, entry);
  w.ListSetCurSel(ids::kDialogList, choice);
  choice = w.ListGetCurSel(ids::kDialogList);
  SendModeVariant(panel, table, choice);
}

void ChangeModeVariant(CPanelDlg& panel, IWindow& w, const ModeVariants& table,
                       std::int32_t& choice) {
  choice = w.ListGetCurSel(ids::kDialogList);
  SendModeVariant(panel, table, choice);
}

}  // namespace

// ---- Count ----

bool CCountModeDlg::OnInitDialog() {
  OpenModeVariants(panel_, Wnd(), kCountVariants, panel_.State().countChoice);
  return true;
}

void CCountModeDlg::OnCountSelChange() {
  ChangeModeVariant(panel_, Wnd(), kCountVariants, panel_.State().countChoice);
}

bool CCountModeDlg::DispatchMap(const Message& m) {
  static const MessageMapEntry<CCountModeDlg> kMap[] = {
      KV_ON_LBN_SELCHANGE(CCountModeDlg, ids::kDialogList, OnCountSelChange),
  };
  return DispatchThrough<CCountModeDlg>(kMap, *this, m);
}

// ---- Pulse duration ----

bool CDurationModeDlg::OnInitDialog() {
  OpenModeVariants(panel_, Wnd(), kDurationVariants, panel_.State().durationChoice);
  return true;
}

void CDurationModeDlg::OnDurationSelChange() {
  ChangeModeVariant(panel_, Wnd(), kDurationVariants, panel_.State().durationChoice);
}

bool CDurationModeDlg::DispatchMap(const Message& m) {
  static const MessageMapEntry<CDurationModeDlg> kMap[] = {
      KV_ON_LBN_SELCHANGE(CDurationModeDlg, ids::kDialogList, OnDurationSelChange),
  };
  return DispatchThrough<CDurationModeDlg>(kMap, *this, m);
}

// ---- Ratio ----

bool CRatioModeDlg::OnInitDialog() {
  IWindow& w = Wnd();
  for (const char* entry : kRatioEntries) w.ListAddString(ids::kDialogList, entry);
  w.ListSetCurSel(ids::kDialogList, panel_.State().ratioChoice);
  SendChoice(true);
  return true;
}

void CRatioModeDlg::OnRatioSelChange() {
  panel_.State().ratioChoice = Wnd().ListGetCurSel(ids::kDialogList);
  SendChoice(false);
}

void CRatioModeDlg::SendChoice(bool opening) {
  PanelState& st = panel_.State();
  const int choice = st.ratioChoice;
  if (!InTable<const char*>(kRatioEntries, choice)) return;

  // Without a channel known yet there is nothing to send and nothing to say.
  const Outcome outcome = panel_.Instrument().SetRatio(choice, opening);
  panel_.NoteOutcome(outcome);
  if (outcome.Refused()) {
    if (!outcome.text.empty()) Wnd().SetText(ids::kDialogMessage, outcome.text);
    return;
  }
  st.measurementArmed = 0;
  if (outcome.Failed()) Wnd().SetText(ids::kDialogMessage, outcome.text);
}

CtlColors CRatioModeDlg::OnCtlColor(int controlId, int kind) {
  CtlColors c = CDialog::OnCtlColor(controlId, kind);
  if (controlId == ids::kDialogMessage) {
    c.custom = true;
    c.ownBrush = true;
    c.brush = kRatioMessageBack;
    c.textBk = kRatioMessageBack;
    c.text = kRatioMessageText;
  }
  return c;
}

bool CRatioModeDlg::DispatchMap(const Message& m) {
  static const MessageMapEntry<CRatioModeDlg> kMap[] = {
      KV_ON_LBN_SELCHANGE(CRatioModeDlg, ids::kDialogList, OnRatioSelChange),
  };
  return DispatchThrough<CRatioModeDlg>(kMap, *this, m);
}

}  // namespace kolvane
