// Finding the instrument: COM1 to COM9 in turn, each configured and tried
// with the presence handshake "B" CR, which the instrument answers with "N"
// and its serial-number byte.
#include "panel/format.h"
#include "panel/panel_dlg.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

constexpr CommTimeouts kLinkTimeouts{100, 0, 1000, 0, 800};

}  // namespace

int CPanelDlg::ScanPorts() {
  ISerialPorts& ports = deps.ports;
  // Closes a port that failed, so that only the instrument's port stays held.
  const auto dropPort = [&] {
    st.portFound = 0;
    if (st.portHandle != 0 && st.portHandle != kInvalidPortHandle) {
      ports.Close(st.portHandle);
      st.portHandle = kInvalidPortHandle;
    }
  };

  st.portFound = 0;
  Wnd().SetText(ids::kSerialNumber, "        ");
  for (int n = 1; n <= 9; ++n) {
    if (st.portFound != 1) {
      st.portFound = 1;
      st.portHandle = ports.Open(Format("COM%d:", n));
      if (st.portHandle == kInvalidPortHandle) {
        ShowMessage("Ошибка COM порта ");
        st.portFound = 0;
        continue;
      }
      Dcb dcb;
      ports.GetCommState(st.portHandle, dcb);
      dcb.baudRate = 19200;
      dcb.byteSize = 8;
      dcb.stopBits = 0;
      dcb.fParity = false;
      if (!ports.SetCommState(st.portHandle, dcb)) {
        ShowMessage(Format("Ошибка инициализации СОМ порта, ошибка=%d\n",
                           static_cast<int>(ports.LastError())));
        dropPort();
        continue;
      }
      ports.GetCommTimeouts(st.portHandle, st.savedTimeouts);
      if (!ports.SetCommTimeouts(st.portHandle, kLinkTimeouts)) {
        ShowMessage("Ошибка установки таймаута");
        dropPort();
        continue;
      }
    }

    deps.clock.Sleep(100);
    st.txFrame[0] = 'B';
    st.txFrame[1] = '\r';
    WritePort(st.txFrame.data(), 2);
    st.rxBuffer[0] = '&';
    const std::uint32_t got = ReadPort(st.rxBuffer.data(), 2);
    if (st.rxBuffer[0] == 'N') {
      // A serial byte cut off by a pause is fetched; one that never comes
      // leaves the field blank rather than show what the buffer held.
      const bool serial = got == 2 || ReadPort(st.rxBuffer.data() + 1, 1) == 1;
      Wnd().SetFont(ids::kSerialNumber, serialFont);
      if (serial) Wnd().SetText(ids::kSerialNumber, Format("   000%d", st.rxBuffer[1]));
      deps.clock.Sleep(200);
      break;
    }
    ReadPort(st.rxBuffer.data(), 2);
    if (st.rxBuffer[0] == 'N') continue;  // answered late: the next pass tries again
    ShowMessage("Нет передачи данных по USB    ");
    dropPort();
  }
  return static_cast<int>(st.portFound);
}

}  // namespace kolvane
