// The poll timer's tick: a pending readback, or one poll of the instrument
// for a result, which is converted and shown. The tick never writes: the
// instrument sends results on its own (or after Start in single shot).
#include "measure/compute.h"
#include "measure/result.h"
#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "resources/format.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

using protocol::kPollMs;

}  // namespace

void CPanelDlg::OnTimer(const Message&) {
  StopTimer();
  st.replyPending = 1;
  if (st.configRequested != 0) {
    session.DropUnreadInput();
    ReadBackConfiguration();
    st.configRequested = 0;
  } else if (st.calibrationMode != 0) {
    // Calibration steps own the port meanwhile.
  } else if (session.Lost()) {
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
  if (!session.Lost() || linkLossShown) return;
  linkLossShown = true;
  ShowStop();
}

std::uint32_t CPanelDlg::ReadField(std::uint8_t* data, std::uint32_t n, int attempts) {
  return session.Link().ReadField(data, n, attempts);
}

void CPanelDlg::PollInstrument() {
  Wnd().ProgressSetPos(ids::kProgress, 0);
  ShowPolled(counter.Poll());
}

void CPanelDlg::ShowPolled(const CounterReading& r) {
  const PollOutcome& o = r.poll;
  if (o.late) st.replyPending = 0;
  if (o.kind == PollOutcome::Nothing) return;
  const std::optional<ShownReading>& shown = r.shown;
  if (o.kind == PollOutcome::Stop) {
    ShowStop();
  } else {
    ShowMessage(Blanks(15));
    if (shown) st.readingText = FormatReading(shown->reading);
    ShowReading();
  }
  if (shown && readingSink != nullptr) readingSink->OnShown(*shown);
  if (shown && recording != nullptr) recording->OnShown(*shown);
}

}  // namespace kolvane
