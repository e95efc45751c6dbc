#include "panel/panel_dlg.h"

#include <array>

#include "panel/about_dlg.h"
#include "panel/dialogs/mode_dialogs.h"
#include "panel/handlers/controls.h"
#include "protocol/protocol.h"
#include "resources/format.h"
#include "resources/ids.h"
#include "resources/strings.h"

namespace kolvane {

namespace {

using protocol::kPollMs;

constexpr std::array kTimestampGroup{1001, 1002, 1003, 1004, 1005};
constexpr std::array kGateGroup{1006, 1007, 1008, 1009, 1010};
constexpr std::array kChannelGroup{1013, 1014, 1015};
constexpr std::array kModeGroup{1016, 1019, 1020, 1030, 1031, 1032, 1091, 1113};
constexpr std::array kLaunchGroup{1066, 1067};

}  // namespace

std::span<const int> RadioGroup(int firstId) {
  switch (firstId) {
    case ids::kTimestamp1:
      return kTimestampGroup;
    case ids::kGate1:
      return kGateGroup;
    case ids::kChannelA:
      return kChannelGroup;
    case ids::kModeFrequency:
      return kModeGroup;
    case ids::kLaunchAuto:
      return kLaunchGroup;
    default:
      return {};
  }
}

CPanelDlg::CPanelDlg(PanelState& state, PanelDeps d)
    : CDialog(ids::kPanelDialog),
      testMeasureToggle(state.test),
      memoryToggle(state.memory),
      panelIcon(ids::kPanelIcon),
      st(state),
      deps(d),
      session(d.ports, d.clock, state),
      counter(session.Instrument()),
      countDlg(std::make_unique<CCountModeDlg>(*this)),
      durationDlg(std::make_unique<CDurationModeDlg>(*this)) {}

CPanelDlg::~CPanelDlg() = default;

CCountModeDlg& CPanelDlg::CountDialog() {
  return *countDlg;
}
CDurationModeDlg& CPanelDlg::DurationDialog() {
  return *durationDlg;
}

bool CPanelDlg::DispatchMap(const Message& m) {
  return DispatchThrough(PanelMessageMap(), *this, m);
}

void CPanelDlg::UpdateData(bool save) {
  IWindow& w = Wnd();
  // A radio member is the index of the checked button in its group, -1 for none.
  const auto radio = [&](int first, int& member) {
    const auto group = RadioGroup(first);
    if (save) {
      member = -1;
      for (std::size_t i = 0; i < group.size(); ++i) {
        if (w.GetCheck(group[i]) != 0) {
          member = static_cast<int>(i);
          break;
        }
      }
    } else {
      for (std::size_t i = 0; i < group.size(); ++i) {
        w.SetCheck(group[i], static_cast<int>(i) == member ? 1 : 0);
      }
    }
  };
  const auto check = [&](int id, int& member) {
    if (save) {
      member = w.GetCheck(id);
    } else {
      w.SetCheck(id, member);
    }
  };
  radio(ids::kTimestamp1, timestampRadio);
  radio(ids::kGate1, gateRadio);
  radio(ids::kChannelA, channelRadio);
  radio(ids::kModeFrequency, modeRadio);
  radio(ids::kLaunchAuto, launchRadio);
  check(ids::kLowPassFilter, filterCheck);
  check(ids::kSlope, slopeCheck);
  check(ids::kTestMeasure, testMeasureToggle);
  check(ids::kMemory, memoryToggle);
}

bool CPanelDlg::OnInitDialog() {
  InitControls();
  if (ScanPorts() == 0) return false;

  st.timestampIndex = 2;
  st.gateIndex = 1;
  st.measureMode = 1;
  st.measurementArmed = 0;
  st.singleShot = 0;
  st.configRequested = 1;
  StartTimer(kPollMs);
  return true;
}

void CPanelDlg::InitControls() {
  IWindow& w = Wnd();
  UpdateData(false);

  const std::string_view about = LoadResourceString(ids::kAboutMenuString);
  if (!about.empty()) {
    w.AppendSystemMenuSeparator();
    w.AppendSystemMenuItem(ids::kAboutCommand, about);
  }
  if (recording != nullptr) recording->AddMenuEntry(w);
  w.SetIcon(panelIcon, true);
  w.SetIcon(panelIcon, false);

  readingFont = FontSpec{34, 0, 400, 0x20, "Arial"};
  serialFont = FontSpec{18, 0, 400, 0x20, "Arial"};
  spinTextFont = FontSpec{22, 0, 400, 0x20, "Arial"};
  fontsCreated = true;
  fieldBrush = kPanelGrey;
  backgroundBrush = kPanelGrey;

  st.calibrationMode = 0;
  st.inputA = InputSettings{};
  st.inputC = InputSettings{};

  for (int n = 1; n <= 9; ++n) w.ListAddString(ids::kComPortList, Format("COM %d", n));
  const int bridgePort = DiscoverBridgePort();
  w.ListSetCurSel(ids::kComPortList, bridgePort >= 1 && bridgePort <= 9 ? bridgePort - 1 : -1);

  w.ListAddString(ids::kGenerator, "внутр. ген.");
  w.ListAddString(ids::kGenerator, "внешн. ген.");
  w.ListSetCurSel(ids::kGenerator, 0);
  w.ListAddString(ids::kStartSource, "внутр. зап.");
  w.ListAddString(ids::kStartSource, "внешн. зап.");
  w.ListSetCurSel(ids::kStartSource, 0);
  w.ListAddString(ids::kImpedance, "50 Ом");
  w.ListAddString(ids::kImpedance, "1 МOм");
  w.ListSetCurSel(ids::kImpedance, 1);
  w.ListAddString(ids::kCoupling, " =~ ");
  w.ListAddString(ids::kCoupling, " ~ ");
  w.ListSetCurSel(ids::kCoupling, 0);
  w.ListAddString(ids::kAttenuator, "1:1");
  w.ListAddString(ids::kAttenuator, "1:10");
  w.ListSetCurSel(ids::kAttenuator, 0);

  w.ProgressSetRange(ids::kProgress, 1, 10);
  for (int id = ids::kTimestamp1; id <= ids::kTimestamp5; ++id) w.EnableControl(id, false);
  for (int id = ids::kGate1; id <= ids::kGate5; ++id) w.EnableControl(id, true);

  w.SpinSetRange(ids::kLevelSpin, 0, 127);
  w.SpinSetPos(ids::kLevelSpin, 64);
  const int level = w.SpinGetPos(ids::kLevelSpin);
  w.SetText(ids::kLevelText, LevelText(level));
  w.SetFont(ids::kLevelText, spinTextFont);
  st.calibrationUntouched = 1;

  w.SpinSetRange(ids::kCalibrationSpin, 0, 255);
  w.SpinSetPos(ids::kCalibrationSpin, 127);
  st.calibrationCode = 127;
  w.SetText(ids::kCalibrationText, CalibrationText(w.SpinGetPos(ids::kCalibrationSpin)));
  w.SetFont(ids::kCalibrationText, spinTextFont);
}

void CPanelDlg::OnSysCommand(const Message& m) {
  if ((static_cast<unsigned>(m.id) & 0xFFF0u) == static_cast<unsigned>(ids::kAboutCommand)) {
    CAboutDlg about;
    about.DoModal(Wnd());
  } else if (recording != nullptr) {
    recording->OnSysCommand(m.id);
  }
}

CtlColors CPanelDlg::OnCtlColor(int controlId, int kind) {
  CtlColors c = CDialog::OnCtlColor(controlId, kind);
  const auto apply = [&](bool own, ColorRef brush, ColorRef text) {
    c.custom = true;
    c.ownBrush = own;
    c.brush = brush;
    c.textBk = kPanelGrey;
    c.text = text;
  };
  if (controlId == -1) apply(false, 0, kBlack);
  if (controlId == ids::kMessage) apply(true, fieldBrush, kDarkRed);
  if (controlId == ids::kReadingDisplay) apply(true, fieldBrush, kDarkRed);
  if (controlId == ids::kLevelText || controlId == ids::kLevelSpin ||
      controlId == ids::kCalibrationText) {
    apply(true, backgroundBrush, kDarkRed);
  }
  if (controlId >= 1001 && controlId <= 1032) apply(true, backgroundBrush, kBlack);
  if (controlId == ids::kTestMeasure) apply(true, fieldBrush, kBlack);
  if (controlId == ids::kStart) apply(true, fieldBrush, kBlack);
  if (kind == CTLCOLOR_DLG) {
    c.ownBrush = true;
    c.brush = backgroundBrush;
  }
  return c;
}

void CPanelDlg::DestroyWindow() {
  if (recording != nullptr) recording->OnPanelClosing();
  session.Close();
}

std::uint32_t CPanelDlg::WritePort(const std::uint8_t* data, std::uint32_t n) {
  return session.Link().Write(data, n);
}

std::uint32_t CPanelDlg::ReadPort(std::uint8_t* data, std::uint32_t n) {
  return session.Link().Read(data, n);
}

void CPanelDlg::StopTimer() {
  Wnd().KillTimer(st.timerId);
}

void CPanelDlg::StartTimer(unsigned periodMs) {
  st.timerId = Wnd().SetTimer(1, periodMs);
}

void CPanelDlg::ShowMessage(std::string_view text) {
  Wnd().SetText(ids::kMessage, text);
}

}  // namespace kolvane
