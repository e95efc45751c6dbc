// UTF-8, as the program keeps its texts, to and from the UTF-16 of the
// wide-character API.
#pragma once

#include <string>
#include <string_view>

namespace kolvane::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace kolvane::win32
