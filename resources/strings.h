#pragma once

#include <string_view>

namespace kolvane {

// The string table; an unknown id gives an empty string, as LoadString does.
std::string_view LoadResourceString(int id);

}  // namespace kolvane
