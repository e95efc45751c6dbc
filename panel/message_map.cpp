// The panel's one message map: (message, control id, notification) to handler.
#include <array>

#include "panel/panel_dlg.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

using P = CPanelDlg;

const MessageMapEntry<CPanelDlg> kPanelMap[] = {
    KV_ON_MESSAGE(P, WM_SYSCOMMAND, OnSysCommand),
    KV_ON_LBN_SELCHANGE(P, ids::kComPortList, OnComPortSelChange),
    // ---- link/ ----
    // ---- commands/ ----
    // ---- measure/ ----
    // ---- inputs/ ----
};

}  // namespace

std::span<const MessageMapEntry<CPanelDlg>> PanelMessageMap() {
  return kPanelMap;
}

}  // namespace kolvane
