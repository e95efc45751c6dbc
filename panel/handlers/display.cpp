// The reading display 1092, with the progress bar and the message field
// around it, and the stopped display the instrument's interruption calls for.
#include "panel/panel_dlg.h"
#include "resources/ids.h"
#include "resources/texts.h"

namespace kolvane {

namespace {

constexpr int kProgressFull = 10;

}  // namespace

void CPanelDlg::ShowReading() {
  IWindow& w = Wnd();
  w.SetText(ids::kReadingDisplay, st.readingText);
  w.SetFont(ids::kReadingDisplay, readingFont);
  w.SetText(ids::kReadingDisplay, st.readingText);
  w.ProgressSetPos(ids::kProgress, kProgressFull);
}

void CPanelDlg::ShowStop() {
  IWindow& w = Wnd();
  ShowMessage(kInterruptedText);
  st.readingText = kStopText;
  w.SetFont(ids::kReadingDisplay, readingFont);
  w.SetText(ids::kReadingDisplay, st.readingText);
}

void CPanelDlg::OnStopMessage(const Message&) {
  ShowStop();
}

}  // namespace kolvane
