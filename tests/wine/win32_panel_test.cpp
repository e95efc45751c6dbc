// The real panel on the Win32 front end, over a scripted instrument on
// COM3: what its start-up puts on the real controls, the stopped display
// that WM_USER+110 brings, the About box from the system menu, and the
// closing frame when the window closes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/ui/desktop_host.h"
#include "platform/win32/ui/dialog_window.h"
#include "platform/win32/ui/text.h"
#include "platform/win32/ui/windows_api.h"
#include "resources/ids.h"
#include "tests/support/panel_harness.h"

namespace kolvane::win32 {
namespace {

constexpr COLORREF kGrey = RGB(203, 203, 203);
constexpr COLORREF kDarkRed = RGB(128, 0, 0);

struct AboutSeen {
  HWND panel = nullptr;
  HWND about = nullptr;
  HWND owner = nullptr;
  std::wstring title;
};
AboutSeen gAbout;

BOOL CALLBACK FindAbout(HWND w, LPARAM) {
  wchar_t title[64] = {};
  GetWindowTextW(w, title, 64);
  if (w != gAbout.panel && IsWindowVisible(w) && std::wstring(title) == L"About Kolvane") {
    gAbout.about = w;
    gAbout.title = title;
    gAbout.owner = GetWindow(w, GW_OWNER);
    return FALSE;
  }
  return TRUE;
}

// Looks for the About box until it is there, then dismisses it with OK and
// closes the panel.
void CALLBACK WatchForAbout(HWND, UINT, UINT_PTR timer, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), FindAbout, 0);
  if (gAbout.about == nullptr) return;
  KillTimer(nullptr, timer);
  PostMessageW(gAbout.about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  PostMessageW(gAbout.panel, WM_CLOSE, 0, 0);
}

TEST(Win32Panel, StartsShowsStopsOpensAboutAndClosesWithTheClosingFrame) {
  test::PanelHarness h;
  h.InstrumentOn(3);
  Win32DesktopHost host;
  std::vector<std::string> texts;
  LRESULT stopAnswer = -1;
  host.onShown = [&](Win32DialogWindow& w) {
    const HWND panel = w.Handle();
    gAbout = AboutSeen{};
    gAbout.panel = panel;

    // The start-up on the real controls.
    EXPECT_EQ(w.GetText(ids::kLevelText), " 0");
    EXPECT_EQ(w.GetText(ids::kCalibrationText), "  127");
    EXPECT_FALSE(w.GetText(ids::kSerialNumber).empty());
    EXPECT_EQ(w.ListGetCurSel(ids::kImpedance), 1);
    EXPECT_EQ(SendMessageW(w.ControlHandle(ids::kComPortList), LB_GETCOUNT, 0, 0), 9);
    EXPECT_EQ(w.GetCheck(1002), 1);
    EXPECT_FALSE(w.IsControlEnabled(1001));
    LOGFONTW lf{};
    GetObjectW(
        reinterpret_cast<HFONT>(SendMessageW(w.ControlHandle(ids::kLevelText), WM_GETFONT, 0, 0)),
        sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, 22);
    EXPECT_STREQ(lf.lfFaceName, L"Arial");
    EXPECT_NE(SendMessageW(panel, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(panel, WM_GETICON, ICON_SMALL, 0), 0);
    const HMENU menu = GetSystemMenu(panel, FALSE);
    EXPECT_EQ(GetMenuItemID(menu, GetMenuItemCount(menu) - 1),
              static_cast<UINT>(ids::kAboutCommand));

    // The message field: dark red on the panel's grey.
    const HDC dc = CreateCompatibleDC(nullptr);
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(w.ControlHandle(ids::kMessage))));
    LOGBRUSH lb{};
    GetObjectW(brush, sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, kGrey);
    EXPECT_EQ(GetTextColor(dc), kDarkRed);
    DeleteDC(dc);

    // Another program's WM_USER+110: the stopped display.
    stopAnswer = SendMessageW(panel, WM_USER + 110, 0, 0);
    texts.push_back(w.GetText(ids::kReadingDisplay));
    texts.push_back(w.GetText(ids::kMessage));
    // WM_USER+100 changes nothing.
    SendMessageW(panel, WM_USER + 100, 0, 0);
    texts.push_back(w.GetText(ids::kReadingDisplay));

    // The About entry of the system menu opens the About box over the panel.
    PostMessageW(panel, WM_SYSCOMMAND, ids::kAboutCommand, 0);
    SetTimer(nullptr, 0, 20, WatchForAbout);
  };
  h.panel.DoModal(host);

  EXPECT_EQ(stopAnswer, 0);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "          СТОП          ");
  EXPECT_EQ(texts[1].rfind("Измерения по USB прерваны.", 0), 0u) << texts[1];
  EXPECT_EQ(texts[2], texts[0]);
  EXPECT_NE(gAbout.about, nullptr);
  EXPECT_EQ(gAbout.owner, gAbout.panel);

  const std::vector<std::string> frames = h.TakeFrames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.front(), "B\r");
  EXPECT_EQ(frames.back(), "J\r");
}

}  // namespace
}  // namespace kolvane::win32
