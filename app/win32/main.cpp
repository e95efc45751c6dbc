// kolvane-panel.exe: the front panel of the frequency counter. It takes
// nothing on its command line but --help and --version.
// KOLVANE_SCREENSHOT=<bmp> makes it save a picture of the panel after
// KOLVANE_SCREENSHOT_DELAY_MS (3000 by default), write the texts of its
// display fields to <bmp>.txt, and close.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "app/win32/panel_app.h"
#include "platform/win32/ui/desktop_host.h"
#include "platform/win32/ui/text.h"
#include "platform/win32/ui/windows_api.h"
#include "resources/ids.h"
#include "version.h"

namespace {

const char kUsage[] =
    "Usage: kolvane-panel [--help | --version]\r\n"
    "The front panel of the frequency counter. It tries COM1 to COM9 in turn\r\n"
    "and keeps the first port whose instrument answers.\r\n"
    "\r\n"
    "  --help     this text\r\n"
    "  --version  the program's name and version\r\n";

// A window program has no console of its own: it writes to the handle it was
// given (a pipe or a file), else to the console of the one that started it.
void Print(DWORD which, const std::string& text) {
  HANDLE out = GetStdHandle(which);
  HANDLE console = INVALID_HANDLE_VALUE;
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    out = console;
  }
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD n = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
}

// Answers --help and --version; returns the exit status, or -1 to run the panel.
int CommandLine() {
  for (int i = 1; i < __argc; ++i) {
    const char* arg = __argv[i];
    if (std::strcmp(arg, "--help") == 0) {
      Print(STD_OUTPUT_HANDLE, kUsage);
      return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
      Print(STD_OUTPUT_HANDLE, "kolvane-panel " KOLVANE_VERSION "\r\n");
      return 0;
    }
    Print(STD_ERROR_HANDLE,
          std::string("kolvane-panel: unknown argument ") + arg + " (see --help)\r\n");
    return 2;
  }
  return -1;
}

std::wstring Environment(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), n));
  return value;
}

unsigned ScreenshotDelayMs() {
  const std::wstring text = Environment(L"KOLVANE_SCREENSHOT_DELAY_MS");
  wchar_t* end = nullptr;
  const long ms = std::wcstol(text.c_str(), &end, 10);
  return !text.empty() && *end == L'\0' && ms >= 0 ? static_cast<unsigned>(ms) : 3000u;
}

// The texts a reader of the picture would see, one "id:text" line each.
bool WriteFieldTexts(kolvane::win32::Win32DialogWindow& window, const std::wstring& path) {
  namespace ids = kolvane::ids;
  std::string dump;
  for (const int id : {ids::kReadingDisplay, ids::kMessage, ids::kSerialNumber, ids::kLevelText,
                       ids::kCalibrationText}) {
    dump += std::to_string(id) + ":" + window.GetText(id) + "\n";
  }
  const HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok =
      WriteFile(out, dump.data(), static_cast<DWORD>(dump.size()), &n, nullptr) != FALSE;
  CloseHandle(out);
  return ok;
}

struct Screenshot {
  kolvane::win32::Win32DialogWindow* window = nullptr;
  std::wstring path;
};
Screenshot gScreenshot;

void CALLBACK TakeScreenshot(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  kolvane::win32::Win32DialogWindow* window = gScreenshot.window;
  if (window == nullptr || window->Handle() == nullptr) return;
  if (!kolvane::win32::SaveClientBitmap(window->Handle(), gScreenshot.path) ||
      !WriteFieldTexts(*window, gScreenshot.path + L".txt")) {
    OutputDebugStringW((L"kolvane-panel: cannot write " + gScreenshot.path).c_str());
  }
  // Closed the ordinary way, so the closing sequence runs.
  window->Close();
}

void ScheduleScreenshot(kolvane::CPanelApp& app, std::wstring path) {
  const unsigned delay = ScreenshotDelayMs();
  app.Host().onShown = [path = std::move(path), delay](kolvane::win32::Win32DialogWindow& w) {
    gScreenshot = Screenshot{&w, path};
    SetTimer(nullptr, 0, delay, TakeScreenshot);
  };
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (const int status = CommandLine(); status >= 0) return status;
  kolvane::CPanelApp app;
  std::wstring screenshot = Environment(L"KOLVANE_SCREENSHOT");
  if (!screenshot.empty()) ScheduleScreenshot(app, std::move(screenshot));
  app.InitInstance();
  return 0;
}
