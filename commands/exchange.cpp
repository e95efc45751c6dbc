#include "commands/exchange.h"

#include "panel/format.h"
#include "panel/panel_dlg.h"
#include "resources/ids.h"

namespace kolvane {

bool CPanelDlg::ExchangeFrame(const Command& cmd) {
  st.txFrame[0] = static_cast<std::uint8_t>(cmd.letter);
  std::uint32_t length = 2;
  if (cmd.param == kNoParam) {
    st.txFrame[1] = kCr;
  } else {
    st.txFrame[1] = static_cast<std::uint8_t>(cmd.param);
    st.txFrame[2] = kCr;
    length = 3;
  }
  const std::uint32_t written = WritePort(st.txFrame.data(), length);
  st.rxBuffer[0] = kPrime;
  if (cmd.pauseBeforeReadMs != 0) deps.clock.Sleep(cmd.pauseBeforeReadMs);

  std::uint8_t* rx = st.rxBuffer.data();
  const auto read = [&](std::uint32_t n) { return ReadPort(rx, n); };
  const auto cr = [&] { return rx[0] == kCr; };
  const auto pause = [&] { deps.clock.Sleep(1); };

  switch (cmd.rule) {
    case AckRule::kNone:
      return true;
    case AckRule::k1:
      read(2);
      if (cr()) return true;
      read(2);
      if (cr()) return true;
      pause();
      return read(2) != 0;
    case AckRule::k2:
      read(2);
      if (cr()) return true;
      pause();
      read(2);
      return cr();
    case AckRule::k3:
      if (read(2) != 0) return true;
      pause();
      return read(2) != 0;
    case AckRule::k4:
      for (int i = 0; i < 3; ++i) {
        read(1);
        if (cr()) return true;
      }
      return false;
    case AckRule::k5:
      read(1);
      if (cr()) return true;
      read(1);
      if (cr()) return true;
      rx[0] = kPrime;
      read(1);
      return cr();
    case AckRule::k6:
      read(1);
      if (cr()) return true;
      pause();
      read(1);
      return cr();
    case AckRule::k7:
      if (read(1) != 0) return true;  // CR or any other byte
      read(1);
      return cr();
    case AckRule::k8:
      read(1);
      if (cr()) return true;
      read(1);
      return cr();
    case AckRule::k9:
      if (read(1) != 0) return true;
      if (read(1) != 0) return true;
      pause();
      return read(1) != 0;
    case AckRule::k10: {
      const bool ok = written != 0 || read(1) != 0 || read(1) != 0;
      read(5);
      return ok;
    }
  }
  return false;
}

void CPanelDlg::SendCommand(const Command& cmd, std::string_view failureText) {
  if (!ExchangeFrame(cmd)) ShowMessage(failureText);
}

void CPanelDlg::RevertCalibrationDisplay() {
  IWindow& w = Wnd();
  w.SpinSetPos(ids::kCalibrationSpin, st.calibrationCode & 0xFF);
  const int pos = w.SpinGetPos(ids::kCalibrationSpin);
  w.SetText(ids::kCalibrationText, Format("  %d", static_cast<std::int16_t>(pos)));
}

}  // namespace kolvane
