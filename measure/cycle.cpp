// The poll timer's tick: a pending readback, or one poll of the instrument
// for a result, which is converted and shown. The tick never writes: the
// instrument sends results on its own (or after Start in single shot).
#include <array>

#include "measure/compute.h"
#include "panel/format.h"
#include "panel/panel_dlg.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

constexpr std::uint8_t kNoStatus = '&';  // matches no status byte
constexpr std::uint8_t kResult = 'G';
constexpr std::uint8_t kError = 'E';
constexpr std::uint8_t kInterrupted = 'N';
constexpr unsigned kPollPeriodMs = 20;

std::uint32_t BigEndian32(const std::uint8_t* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

// Results the instrument sent while no tick read the line (during the scan's
// pauses, a handler's exchange) would come before the reply to "D1" and be
// taken for it; the state would then stay on the line and be read as status
// bytes. What has already arrived is no reply to a request not yet sent, so
// it is read away at once.
void DropUnreadInput(ISerialPorts& ports, PortHandle h) {
  CommTimeouts link{};
  if (!ports.GetCommTimeouts(h, link)) return;
  CommTimeouts atOnce = link;
  atOnce.readIntervalTimeout = 0xFFFFFFFFu;  // with no total: return at once
  atOnce.readTotalTimeoutMultiplier = 0;
  atOnce.readTotalTimeoutConstant = 0;
  if (!ports.SetCommTimeouts(h, atOnce)) return;
  std::array<std::uint8_t, 16> unread{};
  std::uint32_t got = 0;
  // Bounded, so that a line that keeps filling cannot hold the tick.
  for (int i = 0; i < 64; ++i) {
    if (!ports.Read(h, unread.data(), unread.size(), &got) || got < unread.size()) break;
  }
  ports.SetCommTimeouts(h, link);
}

}  // namespace

void CPanelDlg::OnTimer(const Message&) {
  StopTimer();
  st.replyPending = 1;
  if (st.configRequested != 0) {
    DropUnreadInput(deps.ports, st.portHandle);
    ReadBackConfiguration();
    st.configRequested = 0;
  } else if (st.calibrationMode != 0) {
    // Calibration steps own the port meanwhile.
  } else if (st.singleShot == 0 || st.measurementArmed != 0) {
    PollInstrument();
  }
  StartTimer(kPollPeriodMs);
}

std::uint32_t CPanelDlg::ReadField(std::uint8_t* data, std::uint32_t n, int attempts) {
  std::uint32_t got = 0;
  for (int i = 0; i < attempts && got == 0; ++i) got = ReadPort(data, n);
  // A field cut by a pause: fetch the rest rather than use what the buffer
  // held from an earlier exchange. Each read brings a byte or ends it.
  while (got > 0 && got < n) {
    const std::uint32_t more = ReadPort(data + got, n - got);
    if (more == 0) break;
    got += more;
  }
  return got;
}

void CPanelDlg::PollInstrument() {
  IWindow& w = Wnd();
  std::uint8_t* rx = st.rxBuffer.data();
  w.ProgressSetPos(ids::kProgress, 0);

  // Status: three tries; a byte that needed the third is too late to show.
  rx[0] = kNoStatus;
  if (ReadPort(rx, 1) == 0 && ReadPort(rx, 1) == 0) {
    ReadPort(rx, 1);
    st.replyPending = 0;
  }
  switch (rx[0]) {
    case kInterrupted:
      st.replyPending = 0;
      ShowStop();
      return;
    case kError:
      st.replyPending = 0;
      return;
    case kResult:
      break;
    default:
      return;  // stray byte or nothing: consumed, ignored
  }

  const std::uint32_t len = st.measureMode == 6 || st.measureMode == 12 ? 8 : 4;
  const std::uint32_t got = ReadField(rx, len, 3);
  bool complete = got == len;
  if (got == 0) {
    // A last try, only to take the field off the line; it is not shown.
    ReadPort(rx, len);
    st.replyPending = 0;
  } else if (!complete) {
    st.replyPending = 0;
  }

  if (complete && st.replyPending != 0) {
    if (rx[0] == kInterrupted) {
      ShowStop();
      return;
    }
    ShowMessage(Blanks(15));
    ReadingInputs in;
    in.measureMode = st.measureMode;
    in.timestampIndex = st.timestampIndex;
    in.gateIndex = st.gateIndex;
    in.launch = st.singleShot != 0 ? LaunchBranch::SingleShot : LaunchBranch::Automatic;
    in.testMeasureToggle = testMeasureToggle;
    in.n1 = BigEndian32(rx);
    in.n2 = len == 8 ? BigEndian32(rx + 4) : 0;
    if (const auto reading = ComputeReading(in)) st.readingText = FormatReading(*reading);
    ShowReading();
    return;
  }
  // The instrument's interruption flag still counts on a field not shown.
  if (rx[0] == kInterrupted) ShowStop();
}

}  // namespace kolvane
