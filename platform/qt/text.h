// The program's UTF-8 texts as Qt strings.
#pragma once

#include <QString>
#include <string_view>

namespace kolvane::qt {

inline QString FromUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace kolvane::qt
