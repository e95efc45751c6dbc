// The poll timer's tick: a pending readback, or one poll of the instrument
// for a result, which is converted and shown. The tick never writes: the
// instrument sends results on its own (or after Start in single shot).
#include "commands/setup_controls.h"
#include "measure/compute.h"
#include "panel/format.h"
#include "panel/panel_dlg.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

using protocol::kPollMs;

}  // namespace

void CPanelDlg::OnTimer(const Message&) {
  StopTimer();
  st.replyPending = 1;
  if (st.configRequested != 0) {
    link.DropUnreadInput();
    ReadBackConfiguration();
    st.configRequested = 0;
  } else if (st.calibrationMode != 0) {
    // Calibration steps own the port meanwhile.
  } else if (link.Lost()) {
    // A dead port is not polled: every read would fail at once. Config
    // opens it again.
  } else if (st.singleShot == 0 || st.measurementArmed != 0) {
    PollInstrument();
  }
  ShowLinkLoss();
  StartTimer(kPollMs);
}

void CPanelDlg::ShowLinkLoss() {
  // An unplugged bridge is no silent instrument: the stopped display asks
  // for Config, once.
  if (!link.Lost() || linkLossShown) return;
  linkLossShown = true;
  ShowStop();
}

std::uint32_t CPanelDlg::ReadField(std::uint8_t* data, std::uint32_t n, int attempts) {
  return link.ReadField(data, n, attempts);
}

void CPanelDlg::PollInstrument() {
  Wnd().ProgressSetPos(ids::kProgress, 0);
  const std::uint32_t len =
      st.measureMode == mode::kDl4 || st.measureMode == mode::kDutyCycle ? 8 : 4;
  const PollOutcome o = link.Poll(len);
  if (o.late) st.replyPending = 0;
  if (o.kind == PollOutcome::Stop) {
    ShowStop();
    if (readingSink != nullptr) readingSink->OnShown({ShownKind::Stop, st.measureMode, {}});
    return;
  }
  if (o.kind != PollOutcome::Reading) return;

  ShowMessage(Blanks(15));
  ReadingInputs in;
  in.measureMode = st.measureMode;
  in.timestampIndex = st.timestampIndex;
  in.gateIndex = st.gateIndex;
  in.launch = st.singleShot != 0 ? LaunchBranch::SingleShot : LaunchBranch::Automatic;
  in.testMeasureToggle = testMeasureToggle;
  in.n1 = o.n1;
  in.n2 = o.n2;
  const auto reading = ComputeReading(in);
  if (reading) st.readingText = FormatReading(*reading);
  ShowReading();
  if (reading && readingSink != nullptr) {
    readingSink->OnShown({ShownKind::Value, st.measureMode, *reading});
  }
}

}  // namespace kolvane
