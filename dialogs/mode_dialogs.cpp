// The mode dialogs send the chosen variant at once: on opening for the
// choice remembered from last time, and again at every change of selection.
#include "dialogs/mode_dialogs.h"

#include <cstdint>
#include <span>
#include <string>

#include "commands/exchange.h"
#include "panel/panel_dlg.h"

namespace kolvane {

namespace {

struct ModeVariant {
  const char* entry;
  char digit;  // of the "R" frame
  std::uint32_t measureMode;
};

constexpr ModeVariant kCountVariants[] = {
    {"Счет по длительности", '7', 7},
    {"Счет по периоду", '8', 8},
};

constexpr ModeVariant kDurationVariants[] = {
    {"DL1", '3', 3},
    {"DL2", '4', 4},
    {"DL3", '5', 5},
    {"DL4", '6', 6},
};

struct RatioVariant {
  const char* entry;
  char digit;  // of the "A" frame
  std::size_t openingBlanks;
  std::size_t changeBlanks;
};

constexpr RatioVariant kRatioVariants[] = {
    {"A/C", '1', 3, 3},
    {"C/A", '2', 4, 5},
    {"B/C", '3', 3, 3},
};
constexpr int kRatioBC = 2;

const char* const kChannelBOnText = "Включен канал B. Выберите B/C.  ";
const char* const kChannelAOnText = "Включен канал A. Выберите A/C или C/A.  ";
const char* const kChannelCOnText = "Включен канал C. Выберите A/C или C/A.  ";

template <class T>
bool InTable(std::span<const T> table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < table.size();
}

// These dialogs have no message field: a missing answer goes unreported.
void SendModeVariant(CPanelDlg& panel, std::span<const ModeVariant> table, int index) {
  if (!InTable(table, index)) return;
  const ModeVariant& v = table[static_cast<std::size_t>(index)];
  PanelState& st = panel.State();
  st.measurementArmed = 0;
  st.measureMode = v.measureMode;
  panel.ExchangeFrame(Command{'R', v.digit, AckRule::k7});
}

void OpenModeVariants(CPanelDlg& panel, IWindow& w, std::span<const ModeVariant> table,
                      std::int32_t& choice) {
  for (const ModeVariant& v : table) w.ListAddString(ids::kDialogList, v.entry);
  w.ListSetCurSel(ids::kDialogList, choice);
  choice = w.ListGetCurSel(ids::kDialogList);
  SendModeVariant(panel, table, choice);
}

void ChangeModeVariant(CPanelDlg& panel, IWindow& w, std::span<const ModeVariant> table,
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
  for (const RatioVariant& v : kRatioVariants) w.ListAddString(ids::kDialogList, v.entry);
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
  if (!InTable<RatioVariant>(kRatioVariants, choice)) return;

  const char* refusal = nullptr;
  if (choice != kRatioBC) {
    if (st.activeChannel != 1 && st.activeChannel != 4) refusal = kChannelBOnText;
  } else if (st.activeChannel == 1) {
    refusal = kChannelAOnText;
  } else if (st.activeChannel == 4) {
    refusal = kChannelCOnText;
  } else if (st.activeChannel != 2) {
    return;  // no channel known yet: nothing to send and nothing to say
  }
  if (refusal != nullptr) {
    Wnd().SetText(ids::kDialogMessage, refusal);
    return;
  }

  const RatioVariant& v = kRatioVariants[choice];
  st.measurementArmed = 0;
  if (!panel_.ExchangeFrame(Command{'A', v.digit, AckRule::k7})) {
    Wnd().SetText(ids::kDialogMessage, NoResponseText(opening ? v.openingBlanks : v.changeBlanks));
  }
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
