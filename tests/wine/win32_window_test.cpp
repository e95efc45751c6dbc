// The Win32 front end with real windows: the controls the dialog manager
// builds from each layout template, the control operations by id, and the
// messages that reach a dialog's message map (and those that must not).
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/ui/dialog_window.h"
#include "platform/win32/ui/text.h"
#include "platform/win32/ui/windows_api.h"
#include "resources/ids.h"
#include "resources/layout.h"

namespace kolvane::win32 {
namespace {

using layout::Kind;

constexpr COLORREF kGrey = RGB(203, 203, 203);
constexpr COLORREF kDarkRed = RGB(128, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A dialog that records what reaches its message map and answers colour
// requests from a table.
class Probe : public CDialog {
 public:
  explicit Probe(int templateId) : CDialog(templateId) {}

  std::function<void(Probe&)> onInit;
  std::function<void(Probe&, const Message&)> onMessage;
  std::vector<Message> received;
  std::map<int, CtlColors> colours;  // by control id; 0 is the dialog
  std::vector<std::pair<int, int>> colourRequests;

  Win32DialogWindow& Window() { return dynamic_cast<Win32DialogWindow&>(Wnd()); }
  HWND Hwnd() { return Window().Handle(); }
  HWND Control(int id) { return Window().ControlHandle(id); }

  bool OnInitDialog() override {
    if (onInit) onInit(*this);
    return true;
  }
  CtlColors OnCtlColor(int id, int kind) override {
    colourRequests.emplace_back(id, kind);
    const auto it = colours.find(id);
    return it == colours.end() ? CtlColors{} : it->second;
  }

 protected:
  bool DispatchMap(const Message& m) override {
    received.push_back(m);
    if (onMessage) onMessage(*this, m);
    // OK and Cancel go on to the default handling, which ends the dialog.
    return !(m.message == WM_COMMAND && (m.id == IDOK || m.id == IDCANCEL));
  }
};

const layout::DialogTemplate& Panel() {
  return *layout::FindTemplate(ids::kPanelDialog);
}

// Runs the probe in a top-level window; onShown runs once it is on screen.
int RunProbe(Probe& probe, const std::function<void(Probe&)>& onShown = {}) {
  Win32DialogWindow window(*layout::FindTemplate(probe.TemplateId()), nullptr);
  return window.Run(probe, [&](Win32DialogWindow&) {
    if (onShown) onShown(probe);
  });
}

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  std::wstring s(name);
  std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return std::towlower(c); });
  return s;
}

std::wstring WindowText(HWND w) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Where the dialog manager puts a control: origin and size are each
// converted from dialog units.
RECT DialogUnits(HWND dialog, const layout::Rect& r) {
  RECT rc{r.x, r.y, r.w, r.h};
  MapDialogRect(dialog, &rc);
  return RECT{rc.left, rc.top, rc.left + rc.right, rc.top + rc.bottom};
}

RECT ClientRectOf(HWND control) {
  RECT rc{};
  GetWindowRect(control, &rc);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

std::wstring ListEntry(HWND list, int index) {
  const auto n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(n, 0)) + 1, L'\0');
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(n, 0)));
  return text;
}

bool Has(const std::vector<Message>& ms, unsigned message, int id, int code) {
  return std::any_of(ms.begin(), ms.end(), [&](const Message& m) {
    return m.message == message && m.id == id && m.code == code;
  });
}

// ---- The controls the dialog manager builds from every template ----

class TemplateTest : public ::testing::TestWithParam<int> {};

TEST_P(TemplateTest, EveryControlIsTheRealControlOfItsTableRow) {
  const layout::DialogTemplate& t = *layout::FindTemplate(GetParam());
  Probe probe(t.id);
  probe.onInit = [&](Probe& p) {
    const HWND dialog = p.Hwnd();
    EXPECT_EQ(WindowText(dialog), Widen(t.caption));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
    const DWORD dialogStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    EXPECT_EQ((dialogStyle & WS_SYSMENU) != 0, (t.styles & layout::dialog_style::kSysMenu) != 0);
    EXPECT_EQ((dialogStyle & WS_MINIMIZEBOX) != 0,
              (t.styles & layout::dialog_style::kMinimizeBox) != 0);

    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      children.push_back(c);
    }
    ASSERT_EQ(children.size(), t.controls.size());
    ASSERT_EQ(p.Window().ControlHandles(), children);

    for (std::size_t i = 0; i < t.controls.size(); ++i) {
      const layout::Control& c = t.controls[i];
      const HWND w = children[i];
      SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id));
      std::wstring cls = ControlClass(c.kind);
      std::transform(cls.begin(), cls.end(), cls.begin(),
                     [](wchar_t ch) { return std::towlower(ch); });
      EXPECT_EQ(ClassOf(w), cls);
      EXPECT_EQ(GetDlgCtrlID(w), c.id);
      const DWORD style = static_cast<DWORD>(GetWindowLongW(w, GWL_STYLE));
      EXPECT_EQ((style & WS_VISIBLE) != 0, (c.styles & layout::style::kHidden) == 0);
      EXPECT_EQ((style & WS_DISABLED) != 0, (c.styles & layout::style::kDisabled) != 0);
      EXPECT_EQ((style & WS_GROUP) != 0, (c.styles & layout::style::kGroup) != 0);
      switch (c.kind) {
        case Kind::kRadio:
          EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTORADIOBUTTON));
          EXPECT_NE(style & BS_PUSHLIKE, 0u);
          break;
        case Kind::kCheck:
          EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
          EXPECT_NE(style & BS_PUSHLIKE, 0u);
          break;
        case Kind::kGroupBox:
          EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_GROUPBOX));
          break;
        case Kind::kListBox:
          EXPECT_NE(style & LBS_NOTIFY, 0u);
          // The list takes the bar away while its entries fit, so the
          // template's own style is what holds it.
          EXPECT_NE(ControlStyle(c) & WS_VSCROLL, 0u);
          EXPECT_EQ((style & LBS_SORT) == LBS_SORT, (c.styles & layout::style::kSorted) != 0);
          break;
        case Kind::kSpin:
          EXPECT_NE(style & UDS_AUTOBUDDY, 0u);
          EXPECT_NE(style & UDS_ARROWKEYS, 0u);
          // The buddy is the edit just before the spin.
          ASSERT_GT(i, 0u);
          EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(w, UDM_GETBUDDY, 0, 0)), children[i - 1]);
          break;
        default:
          break;
      }
      // Bitmaps and icons size their statics unless they are centred.
      const bool sizedByImage =
          c.kind == Kind::kPicture && (c.styles & layout::style::kCentreImage) == 0;
      if (!sizedByImage) {
        const RECT want = DialogUnits(dialog, c.rect);
        const RECT got = ClientRectOf(w);
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        // The up-down control evens out its own width.
        EXPECT_NEAR(got.right, want.right, c.kind == Kind::kSpin ? 1 : 0);
        if (c.kind == Kind::kListBox && !IsOneEntryList(c)) {
          // A list of whole entries: cut to a multiple of the entry height.
          const auto entry = SendMessageW(w, LB_GETITEMHEIGHT, 0, 0);
          EXPECT_LE(got.bottom, want.bottom);
          EXPECT_GT(got.bottom, want.bottom - entry);
        } else {
          EXPECT_EQ(got.bottom, want.bottom);
        }
      }
      if (c.kind != Kind::kPicture && c.kind != Kind::kListBox) {
        EXPECT_EQ(WindowText(w), Widen(c.caption));
      }
    }
    p.EndDialog(IDOK);
  };
  EXPECT_EQ(RunProbe(probe), IDOK);
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateTest,
                         ::testing::Values(ids::kAboutDialog, ids::kPanelDialog,
                                           ids::kDurationDialog, ids::kRatioDialog,
                                           ids::kCountDialog),
                         [](const auto& info) { return std::to_string(info.param); });

struct PictureCase {
  int resource;
  int width;
  int height;
  COLORREF ink;
};

TEST(Win32Window, PicturesAreDrawnAtTheirResourceSizes) {
  const PictureCase cases[] = {
      {ids::kEmblemPicture, 32, 36, kDarkRed},  {ids::kNamePictureLeft, 31, 12, kDarkRed},
      {ids::kTitlePicture, 272, 48, kDarkRed},  {ids::kNamePictureRight, 53, 12, kDarkRed},
      {ids::kRisingEdgePicture, 7, 10, kBlack}, {ids::kFallingEdgePicture, 7, 10, kBlack},
  };
  Probe probe(ids::kPanelDialog);
  probe.onInit = [&](Probe& p) {
    const layout::DialogTemplate& t = Panel();
    for (const PictureCase& pc : cases) {
      SCOPED_TRACE(pc.resource);
      const auto it = std::find_if(t.controls.begin(), t.controls.end(), [&](const auto& c) {
        return c.kind == Kind::kPicture && c.picture == pc.resource;
      });
      ASSERT_NE(it, t.controls.end());
      const HWND w = p.Window().ControlHandles()[static_cast<std::size_t>(it - t.controls.begin())];
      const auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(w, STM_GETIMAGE, IMAGE_BITMAP, 0));
      ASSERT_NE(bitmap, nullptr);
      BITMAP info{};
      GetObjectW(bitmap, sizeof info, &info);
      EXPECT_EQ(info.bmWidth, pc.width);
      EXPECT_EQ(info.bmHeight, pc.height);
      // Something is drawn on the grey: the picture's ink appears.
      const HDC dc = CreateCompatibleDC(nullptr);
      const HGDIOBJ old = SelectObject(dc, bitmap);
      int inked = 0;
      int grey = 0;
      for (int y = 0; y < pc.height; ++y) {
        for (int x = 0; x < pc.width; ++x) {
          const COLORREF px = GetPixel(dc, x, y);
          inked += px == pc.ink ? 1 : 0;
          grey += px == kGrey ? 1 : 0;
        }
      }
      SelectObject(dc, old);
      DeleteDC(dc);
      EXPECT_GT(inked, 0);
      EXPECT_GT(grey, 0);
    }
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
}

// ---- Control operations by id ----

TEST(Win32Window, TextsRoundTripAsUtf8ThroughTheWideApi) {
  const std::pair<int, std::string> cases[] = {
      {ids::kMessage, "Измерения по USB прерваны.   "},
      {ids::kReadingDisplay, "          СТОП          "},
      {ids::kReadingDisplay, " 12.34 kHz                 "},
      {ids::kSerialNumber, "  0005"},
      {ids::kLevelText, " -512"},
      {ids::kConfigButton, "Конфигурация"},
      {ids::kMessage, ""},
  };
  Probe probe(ids::kPanelDialog);
  probe.onInit = [&](Probe& p) {
    IWindow& w = p.Wnd();
    for (const auto& [id, text] : cases) {
      w.SetText(id, text);
      EXPECT_EQ(w.GetText(id), text) << id;
    }
    EXPECT_EQ(WindowText(p.Control(ids::kMessage)), L"");
    w.SetText(ids::kMessage, "Сообщение");
    EXPECT_EQ(WindowText(p.Control(ids::kMessage)), L"Сообщение");
    // Lists have no text of their own.
    w.SetText(ids::kImpedance, "x");
    EXPECT_EQ(w.GetText(ids::kImpedance), "");
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
  // None of these changes is a user action.
  EXPECT_TRUE(probe.received.empty());
}

TEST(Win32Window, ListsAddSelectAndClearTheSelection) {
  Probe probe(ids::kPanelDialog);
  probe.onInit = [&](Probe& p) {
    IWindow& w = p.Wnd();
    const HWND list = p.Control(ids::kImpedance);
    EXPECT_EQ(w.ListGetCurSel(ids::kImpedance), -1);
    w.ListAddString(ids::kImpedance, "50 Ом");
    w.ListAddString(ids::kImpedance, "1 МOм");
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(ListEntry(list, 1), L"1 МOм");
    const std::pair<int, int> selections[] = {{1, 1}, {0, 0}, {2, -1}, {1, 1}, {-1, -1}, {9, -1}};
    for (const auto& [index, expected] : selections) {
      w.ListSetCurSel(ids::kImpedance, index);
      EXPECT_EQ(w.ListGetCurSel(ids::kImpedance), expected) << index;
      EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), expected == -1 ? LB_ERR : expected);
    }
    // A one-entry list shows exactly one entry: it fills the box.
    RECT client{};
    GetClientRect(list, &client);
    EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), client.bottom - client.top);
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
  EXPECT_TRUE(probe.received.empty());
}

TEST(Win32Window, SortedListsKeepTheirEntriesInOrder) {
  Probe probe(ids::kCountDialog);
  probe.onInit = [&](Probe& p) {
    for (const char* s : {"по периоду", "Б", "а", "В"}) p.Wnd().ListAddString(ids::kDialogList, s);
    const HWND list = p.Control(ids::kDialogList);
    EXPECT_EQ(ListEntry(list, 0), L"а");
    EXPECT_EQ(ListEntry(list, 1), L"Б");
    EXPECT_EQ(ListEntry(list, 2), L"В");
    EXPECT_EQ(ListEntry(list, 3), L"по периоду");
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
}

TEST(Win32Window, EnablingChecksSpinsAndProgress) {
  Probe probe(ids::kPanelDialog);
  probe.onInit = [&](Probe& p) {
    IWindow& w = p.Wnd();
    EXPECT_FALSE(w.IsControlEnabled(ids::kProgress));  // disabled by the template
    w.EnableControl(ids::kTimestamp1, false);
    EXPECT_FALSE(w.IsControlEnabled(ids::kTimestamp1));
    EXPECT_FALSE(IsWindowEnabled(p.Control(ids::kTimestamp1)));
    w.EnableControl(ids::kTimestamp1, true);
    EXPECT_TRUE(w.IsControlEnabled(ids::kTimestamp1));

    w.SetCheck(ids::kModeFrequency, 1);
    EXPECT_EQ(w.GetCheck(ids::kModeFrequency), 1);
    EXPECT_EQ(SendMessageW(p.Control(ids::kModeFrequency), BM_GETCHECK, 0, 0), BST_CHECKED);
    w.SetCheck(ids::kModeFrequency, 0);
    EXPECT_EQ(w.GetCheck(ids::kModeFrequency), 0);
    w.SetCheck(ids::kLowPassFilter, 1);
    EXPECT_EQ(w.GetCheck(ids::kLowPassFilter), 1);
    w.SetCheck(ids::kConfigButton, 1);  // a push button holds no check
    EXPECT_EQ(w.GetCheck(ids::kConfigButton), 0);

    struct SpinCase {
      int lower, upper, pos, expected;
    };
    const SpinCase spins[] = {{0, 127, 64, 64},   {0, 127, 500, 127}, {0, 127, -3, 0},
                              {0, 255, 127, 127}, {10, 0, 20, 10},    {10, 0, 5, 5}};
    for (const SpinCase& s : spins) {
      w.SpinSetRange(ids::kLevelSpin, s.lower, s.upper);
      w.SpinSetPos(ids::kLevelSpin, s.pos);
      EXPECT_EQ(w.SpinGetPos(ids::kLevelSpin), s.expected)
          << s.lower << ".." << s.upper << " " << s.pos;
    }

    const HWND bar = p.Control(ids::kProgress);
    w.ProgressSetRange(ids::kProgress, 1, 10);
    PBRANGE range{};
    SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 1);
    EXPECT_EQ(range.iHigh, 10);
    const std::pair<int, int> positions[] = {{10, 10}, {0, 1}, {5, 5}, {11, 10}};
    for (const auto& [pos, expected] : positions) {
      w.ProgressSetPos(ids::kProgress, pos);
      EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), expected) << pos;
    }
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
  EXPECT_TRUE(probe.received.empty());
}

TEST(Win32Window, FontsAreCreatedAsSpecifiedAndSharedPerSpecification) {
  Probe probe(ids::kPanelDialog);
  probe.onInit = [&](Probe& p) {
    const FontSpec reading{34, 0, 400, 0x20, "Arial"};
    const FontSpec spin{22, 0, 400, 0x20, "Arial"};
    p.Wnd().SetFont(ids::kReadingDisplay, reading);
    p.Wnd().SetFont(ids::kLevelText, spin);
    p.Wnd().SetFont(ids::kCalibrationText, spin);
    const auto fontOf = [&](int id) {
      return reinterpret_cast<HFONT>(SendMessageW(p.Control(id), WM_GETFONT, 0, 0));
    };
    LOGFONTW lf{};
    ASSERT_NE(GetObjectW(fontOf(ids::kReadingDisplay), sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, 34);
    EXPECT_EQ(lf.lfWidth, 0);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(lf.lfPitchAndFamily, 0x20);
    EXPECT_FALSE(lf.lfItalic);
    EXPECT_STREQ(lf.lfFaceName, L"Arial");
    EXPECT_EQ(fontOf(ids::kLevelText), fontOf(ids::kCalibrationText));
    EXPECT_NE(fontOf(ids::kLevelText), fontOf(ids::kReadingDisplay));
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
}

TEST(Win32Window, SystemMenuAboutEntryAndIcons) {
  Probe probe(ids::kPanelDialog);
  probe.onInit = [&](Probe& p) {
    p.Wnd().AppendSystemMenuSeparator();
    p.Wnd().AppendSystemMenuItem(ids::kAboutCommand, "&About Kolvane...");
    const HMENU menu = GetSystemMenu(p.Hwnd(), FALSE);
    const int n = GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    EXPECT_EQ(GetMenuItemID(menu, n - 1), static_cast<UINT>(ids::kAboutCommand));
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(n - 1), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&About Kolvane...");
    EXPECT_NE(GetMenuState(menu, static_cast<UINT>(n - 2), MF_BYPOSITION) & MF_SEPARATOR, 0u);

    p.Wnd().SetIcon(ids::kPanelIcon, true);
    p.Wnd().SetIcon(ids::kPanelIcon, false);
    for (const auto& [which, size] : {std::pair{ICON_BIG, 32}, std::pair{ICON_SMALL, 16}}) {
      const auto icon = reinterpret_cast<HICON>(SendMessageW(p.Hwnd(), WM_GETICON, which, 0));
      ASSERT_NE(icon, nullptr);
      ICONINFO info{};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP bm{};
      GetObjectW(info.hbmColor, sizeof bm, &bm);
      EXPECT_EQ(bm.bmWidth, size);
      EXPECT_EQ(bm.bmHeight, size);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
    EXPECT_NE(SendMessageW(p.Hwnd(), WM_QUERYDRAGICON, 0, 0), 0);
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
}

TEST(Win32Window, CheckMarkOfAMenuEntryAndAMessageBoxThatDoesNotWait) {
  Probe probe(ids::kPanelDialog);
  constexpr int kEntry = 0x100;
  int ticks = 0, ticksWithBox = 0;
  probe.onInit = [&](Probe& p) {
    p.Wnd().AppendSystemMenuItem(kEntry, "Записывать показания в файл...");
    const HMENU menu = GetSystemMenu(p.Hwnd(), FALSE);
    for (const bool checked : {true, false}) {
      p.Wnd().CheckSystemMenuItem(kEntry, checked);
      EXPECT_EQ((GetMenuState(menu, kEntry, MF_BYCOMMAND) & MF_CHECKED) != 0, checked);
    }
    p.Wnd().ShowMessageBox("Запись показаний остановлена");
    p.Wnd().SetTimer(1, 20);
  };
  probe.onMessage = [&](Probe& p, const Message& m) {
    if (m.message != WM_TIMER) return;
    const HWND box = FindWindowW(L"#32770", L"Kolvane");
    const bool open = box != nullptr && GetWindow(box, GW_OWNER) == p.Hwnd();
    // The timer goes on while the box waits; three ticks, then OK.
    if (open && ++ticksWithBox == 3) PostMessageW(box, WM_COMMAND, IDOK, 0);
    if ((!open && ticksWithBox >= 3) || ++ticks > 250) {
      p.Wnd().KillTimer(1);
      p.EndDialog(IDOK);
    }
  };
  RunProbe(probe);
  EXPECT_GE(ticksWithBox, 3);
  EXPECT_LE(ticks, 250) << "the box never closed";
}

// ---- Messages that reach the map ----

TEST(Win32Window, PostedPrivateMessagesSystemCommandsAndTimerOneReachTheMap) {
  Probe probe(ids::kPanelDialog);
  unsigned timerId = 0;
  probe.onInit = [&](Probe& p) {
    PostMessageW(p.Hwnd(), WM_USER + 110, 7, 9);
    PostMessageW(p.Hwnd(), WM_USER + 100, 0, 0);
    PostMessageW(p.Hwnd(), WM_SYSCOMMAND, ids::kAboutCommand, 0);
    // The system's own commands keep their default handling.
    PostMessageW(p.Hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
    timerId = p.Wnd().SetTimer(1, 20);
  };
  probe.onMessage = [](Probe& p, const Message& m) {
    if (m.message == WM_TIMER) {
      p.Wnd().KillTimer(1);
      p.EndDialog(IDOK);
    }
  };
  EXPECT_EQ(RunProbe(probe), IDOK);
  EXPECT_EQ(timerId, 1u);
  ASSERT_EQ(probe.received.size(), 4u);
  EXPECT_EQ(probe.received[0].message, static_cast<unsigned>(WM_USER + 110));
  EXPECT_EQ(probe.received[1].message, static_cast<unsigned>(WM_USER + 100));
  EXPECT_EQ(probe.received[2].message, static_cast<unsigned>(WM_SYSCOMMAND));
  EXPECT_EQ(probe.received[2].id, ids::kAboutCommand);
  EXPECT_EQ(probe.received[3].message, static_cast<unsigned>(WM_TIMER));
  EXPECT_EQ(probe.received[3].id, 1);
}

TEST(Win32Window, AKilledTimerTicksNoMore) {
  Probe probe(ids::kPanelDialog);
  probe.onInit = [](Probe& p) {
    p.Wnd().SetTimer(1, 10);
    p.Wnd().KillTimer(1);
    p.Wnd().SetTimer(2, 150);
  };
  probe.onMessage = [](Probe& p, const Message& m) {
    if (m.message == WM_TIMER && m.id == 2) p.EndDialog(IDOK);
  };
  RunProbe(probe);
  ASSERT_EQ(probe.received.size(), 1u);
  EXPECT_EQ(probe.received[0].id, 2);
}

TEST(Win32Window, ClicksSelectionsAndSpinStepsAreUserMessages) {
  Probe probe(ids::kPanelDialog);
  probe.onInit = [](Probe& p) {
    IWindow& w = p.Wnd();
    w.SetCheck(ids::kModeFrequency, 1);
    w.ListAddString(ids::kImpedance, "50 Ом");
    w.ListAddString(ids::kImpedance, "1 МOм");
    w.ListSetCurSel(ids::kImpedance, 0);
    w.SpinSetRange(ids::kLevelSpin, 0, 127);
    w.SpinSetPos(ids::kLevelSpin, 64);
  };
  RunProbe(probe, [](Probe& p) {
    IWindow& w = p.Wnd();
    // An automatic radio: the clicked one is checked, the rest of its group not.
    SendMessageW(p.Control(ids::kModePeriod), BM_CLICK, 0, 0);
    EXPECT_EQ(w.GetCheck(ids::kModePeriod), 1);
    EXPECT_EQ(w.GetCheck(ids::kModeFrequency), 0);
    SendMessageW(p.Control(ids::kLowPassFilter), BM_CLICK, 0, 0);
    EXPECT_EQ(w.GetCheck(ids::kLowPassFilter), 1);
    SendMessageW(p.Control(ids::kConfigButton), BM_CLICK, 0, 0);

    const HWND list = p.Control(ids::kImpedance);
    SetFocus(list);
    SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(w.ListGetCurSel(ids::kImpedance), 1);

    // A click on the spin's upper arrow.
    const HWND spin = p.Control(ids::kLevelSpin);
    RECT r{};
    GetClientRect(spin, &r);
    const LPARAM upper = MAKELPARAM(r.right / 2, r.bottom / 4);
    SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, upper);
    SendMessageW(spin, WM_LBUTTONUP, 0, upper);
    EXPECT_EQ(w.SpinGetPos(ids::kLevelSpin), 65);
    // The arrow keys in the buddy step the spin too.
    const HWND buddy = p.Control(ids::kLevelText);
    SetFocus(buddy);
    SendMessageW(buddy, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(buddy, WM_KEYUP, VK_DOWN, 0);
    EXPECT_EQ(w.SpinGetPos(ids::kLevelSpin), 64);

    p.Window().Close();
  });
  const auto& r = probe.received;
  EXPECT_TRUE(Has(r, WM_COMMAND, ids::kModePeriod, BN_CLICKED));
  EXPECT_FALSE(Has(r, WM_COMMAND, ids::kModeFrequency, BN_CLICKED));
  EXPECT_TRUE(Has(r, WM_COMMAND, ids::kLowPassFilter, BN_CLICKED));
  EXPECT_TRUE(Has(r, WM_COMMAND, ids::kConfigButton, BN_CLICKED));
  EXPECT_TRUE(Has(r, WM_COMMAND, ids::kImpedance, LBN_SELCHANGE));
  const auto scroll = [&](int code, int pos) {
    return std::any_of(r.begin(), r.end(), [&](const Message& m) {
      return m.message == WM_VSCROLL && m.id == ids::kLevelSpin && m.code == code && m.pos == pos;
    });
  };
  EXPECT_TRUE(scroll(SB_THUMBPOSITION, 65));
  EXPECT_TRUE(scroll(SB_THUMBPOSITION, 64));
  EXPECT_TRUE(std::any_of(r.begin(), r.end(), [](const Message& m) {
    return m.message == WM_VSCROLL && m.code == SB_ENDSCROLL;
  }));
  // Close goes the default way: a Cancel click, which ends the dialog.
  ASSERT_FALSE(r.empty());
  EXPECT_TRUE(Has(r, WM_COMMAND, IDCANCEL, BN_CLICKED));
  // Nothing but clicks, selections and scrolls came from the controls.
  for (const Message& m : r) {
    if (m.message == WM_COMMAND) {
      EXPECT_TRUE(m.code == BN_CLICKED || m.code == LBN_SELCHANGE);
    }
  }
}

TEST(Win32Window, CloseEndsWithCancelAndEndDialogWithItsResult) {
  Probe closing(ids::kPanelDialog);
  EXPECT_EQ(RunProbe(closing, [](Probe& p) { p.Window().Close(); }), IDCANCEL);

  // Ended during its initialisation, the dialog is never shown.
  Probe early(ids::kPanelDialog);
  early.onInit = [](Probe& p) { p.EndDialog(5); };
  bool shown = false;
  EXPECT_EQ(RunProbe(early, [&](Probe&) { shown = true; }), 5);
  EXPECT_FALSE(shown);
  EXPECT_FALSE(early.IsAttached());
}

TEST(Win32Window, ModeDialogsRunModallyOverThePanel) {
  Probe panel(ids::kPanelDialog);
  int result = 0;
  HWND owner = nullptr;
  bool panelDisabled = false;
  RunProbe(panel, [&](Probe& p) {
    Probe mode(ids::kCountDialog);
    mode.onInit = [&](Probe& m) {
      owner = GetWindow(m.Hwnd(), GW_OWNER);
      panelDisabled = IsWindowEnabled(p.Hwnd()) == FALSE;
      m.EndDialog(7);
    };
    result = mode.DoModal(p.Wnd());
    p.EndDialog(IDOK);
  });
  EXPECT_EQ(result, 7);
  EXPECT_NE(owner, nullptr);
  EXPECT_TRUE(panelDisabled);
}

// ---- Colours ----

struct ColourCase {
  const char* name;
  UINT message;
  int id;  // 0: the dialog itself, -1: the first unnumbered static
  int kind;
  COLORREF brush;
  COLORREF text;
  COLORREF background;
};

TEST(Win32Window, ControlColoursComeFromTheDialog) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF windowText = GetSysColor(COLOR_WINDOWTEXT);
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const ColourCase cases[] = {
      {"own brush and texts", WM_CTLCOLORSTATIC, ids::kMessage, 6, kGrey, kDarkRed, kGrey},
      {"texts on the system brush", WM_CTLCOLORSTATIC, -1, 6, face, kBlack, kGrey},
      {"an edit", WM_CTLCOLOREDIT, ids::kLevelText, 1, kGrey, kDarkRed, kGrey},
      {"the dialog", WM_CTLCOLORDLG, 0, 4, kGrey, windowText, face},
      {"nothing asked: the system's", WM_CTLCOLOREDIT, ids::kSerialNumber, 1, window, windowText,
       window},
  };
  Probe probe(ids::kPanelDialog);
  probe.colours[ids::kMessage] = {true, true, kGrey, kGrey, kDarkRed};
  probe.colours[-1] = {true, false, 0, kGrey, kBlack};
  probe.colours[ids::kLevelText] = {true, true, kGrey, kGrey, kDarkRed};
  probe.colours[0] = {false, true, kGrey, 0, 0};
  probe.onInit = [&](Probe& p) {
    for (const ColourCase& c : cases) {
      SCOPED_TRACE(c.name);
      HWND control = p.Hwnd();
      if (c.id == -1) {
        const auto& t = Panel();
        const auto it = std::find_if(t.controls.begin(), t.controls.end(),
                                     [](const auto& ctl) { return ctl.kind == Kind::kStatic; });
        control = p.Window().ControlHandles()[static_cast<std::size_t>(it - t.controls.begin())];
      } else if (c.id != 0) {
        control = p.Control(c.id);
      }
      const HDC dc = CreateCompatibleDC(nullptr);
      SetTextColor(dc, windowText);
      SetBkColor(dc, c.message == WM_CTLCOLORDLG ? face : window);
      p.colourRequests.clear();
      const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
          p.Hwnd(), c.message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
      ASSERT_NE(brush, nullptr);
      LOGBRUSH lb{};
      GetObjectW(brush, sizeof lb, &lb);
      EXPECT_EQ(lb.lbColor, c.brush);
      EXPECT_EQ(GetTextColor(dc), c.text);
      EXPECT_EQ(GetBkColor(dc), c.background);
      DeleteDC(dc);
      ASSERT_EQ(p.colourRequests.size(), 1u);
      EXPECT_EQ(p.colourRequests[0].first, c.id);
      EXPECT_EQ(p.colourRequests[0].second, c.kind);
    }
    p.EndDialog(IDOK);
  };
  RunProbe(probe);
}

}  // namespace
}  // namespace kolvane::win32
