// The Win32 headers for the front end. The window seam names its messages
// and codes as the Win32 headers do, and those headers make the same names
// macros of the same values, so the seam has to be declared first.
#pragma once

// clang-format off
#include "platform/dialog.h"
#include "platform/window.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
// clang-format on
