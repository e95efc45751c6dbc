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
    KV_ON_BN_CLICKED(P, ids::kConfigButton, OnConfigButton),
    // ---- commands/ ----
    KV_ON_BN_CLICKED_ID(P, 1001, OnTimestampRadio),
    KV_ON_BN_CLICKED_ID(P, 1002, OnTimestampRadio),
    KV_ON_BN_CLICKED_ID(P, 1003, OnTimestampRadio),
    KV_ON_BN_CLICKED_ID(P, 1004, OnTimestampRadio),
    KV_ON_BN_CLICKED_ID(P, 1005, OnTimestampRadio),
    KV_ON_BN_CLICKED_ID(P, 1006, OnGateRadio),
    KV_ON_BN_CLICKED_ID(P, 1007, OnGateRadio),
    KV_ON_BN_CLICKED_ID(P, 1008, OnGateRadio),
    KV_ON_BN_CLICKED_ID(P, 1009, OnGateRadio),
    KV_ON_BN_CLICKED_ID(P, 1010, OnGateRadio),
    KV_ON_BN_CLICKED(P, ids::kChannelA, OnChannelA),
    KV_ON_BN_CLICKED(P, ids::kChannelB, OnChannelB),
    KV_ON_BN_CLICKED(P, ids::kChannelC, OnChannelC),
    KV_ON_BN_CLICKED(P, ids::kModeFrequency, OnModeFrequency),
    KV_ON_BN_CLICKED(P, ids::kModePeriod, OnModePeriod),
    KV_ON_BN_CLICKED(P, ids::kModePulseDuration, OnModePulseDuration),
    KV_ON_BN_CLICKED(P, ids::kModeRatio, OnModeRatio),
    KV_ON_BN_CLICKED(P, ids::kModeTachometer, OnModeTachometer),
    KV_ON_BN_CLICKED(P, ids::kModeDutyCycle, OnModeDutyCycle),
    KV_ON_BN_CLICKED(P, ids::kModeCount, OnModeCount),
    KV_ON_BN_CLICKED(P, ids::kLaunchAuto, OnLaunchAuto),
    KV_ON_BN_CLICKED(P, ids::kLaunchSingle, OnLaunchSingle),
    KV_ON_BN_CLICKED(P, ids::kStart, OnStart),
    KV_ON_BN_CLICKED(P, ids::kTestMeasure, OnTestMeasure),
    KV_ON_BN_CLICKED(P, ids::kMemory, OnMemory),
    // ---- measure/ ----
    KV_ON_MESSAGE(P, WM_TIMER, OnTimer),
    KV_ON_MESSAGE(P, WM_USER + 110, OnStopMessage),
    KV_ON_MESSAGE(P, WM_USER + 100, OnUser100),
    // ---- inputs/ ----
    KV_ON_LBN_SELCHANGE(P, ids::kImpedance, OnImpedanceSelChange),
    KV_ON_LBN_SELCHANGE(P, ids::kCoupling, OnCouplingSelChange),
    KV_ON_LBN_SELCHANGE(P, ids::kAttenuator, OnAttenuatorSelChange),
    KV_ON_LBN_SELCHANGE(P, ids::kGenerator, OnGeneratorSelChange),
    KV_ON_LBN_SELCHANGE(P, ids::kStartSource, OnStartSourceSelChange),
    KV_ON_BN_CLICKED(P, ids::kLowPassFilter, OnLowPassFilterClicked),
    KV_ON_BN_CLICKED(P, ids::kSlope, OnSlopeClicked),
    KV_ON_BN_CLICKED(P, ids::kCalibrationSave, OnCalibrationSave),
    KV_ON_BN_CLICKED(P, ids::kLevelReset, OnLevelReset),
    KV_ON_BN_CLICKED(P, ids::kModeCalibration, OnCalibrationMode),
    KV_ON_MESSAGE(P, WM_VSCROLL, OnVScroll),
};

}  // namespace

std::span<const MessageMapEntry<CPanelDlg>> PanelMessageMap() {
  return kPanelMap;
}

}  // namespace kolvane
