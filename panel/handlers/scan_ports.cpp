// Finding the instrument: COM1 to COM9 in turn, each configured and tried
// with the presence handshake "B" CR, which the instrument answers with "N"
// and its serial-number byte. The link does the exchanges; the panel shows
// what each port gave.
#include "panel/panel_dlg.h"
#include "resources/format.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

class PanelScanView : public IScanObserver {
 public:
  PanelScanView(CPanelDlg& panel, IScanObserver* diagnostics)
      : panel_(panel), diagnostics_(diagnostics) {}

  void OnScanStart() override {
    panel_.Wnd().SetText(ids::kSerialNumber, "        ");
    if (diagnostics_ != nullptr) diagnostics_->OnScanStart();
  }
  void OnOpenFailed(int n, const std::string& name, std::uint32_t error) override {
    panel_.ShowMessage("Ошибка COM порта ");
    if (diagnostics_ != nullptr) diagnostics_->OnOpenFailed(n, name, error);
  }
  void OnStateFailed(int n, std::uint32_t error) override {
    panel_.ShowMessage(
        Format("Ошибка инициализации СОМ порта, ошибка=%d\n", static_cast<int>(error)));
    if (diagnostics_ != nullptr) diagnostics_->OnStateFailed(n, error);
  }
  void OnTimeoutsFailed(int n) override {
    panel_.ShowMessage("Ошибка установки таймаута");
    if (diagnostics_ != nullptr) diagnostics_->OnTimeoutsFailed(n);
  }
  void OnNoAnswer(int n) override {
    panel_.ShowMessage("Нет передачи данных по USB    ");
    if (diagnostics_ != nullptr) diagnostics_->OnNoAnswer(n);
  }
  void OnFound(int n, std::optional<std::uint8_t> serial) override {
    panel_.Wnd().SetFont(ids::kSerialNumber, panel_.serialFont);
    if (serial) panel_.Wnd().SetText(ids::kSerialNumber, Format("   000%d", *serial));
    if (diagnostics_ != nullptr) diagnostics_->OnFound(n, serial);
  }

 private:
  CPanelDlg& panel_;
  IScanObserver* diagnostics_;
};

}  // namespace

int CPanelDlg::ScanPorts(int first, int last) {
  PanelScanView view(*this, scanDiagnostics);
  linkLossShown = false;
  return session.Scan(view, first, last) ? 1 : 0;
}

}  // namespace kolvane
