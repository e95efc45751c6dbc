// File names as the program holds them (UTF-8) to the path the system opens:
// on Windows the wide name, so that a name in any script survives.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kolvane::record {

inline std::filesystem::path PathFromUtf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace kolvane::record
