#include "resources/strings.h"

#include "resources/ids.h"

namespace kolvane {

std::string_view LoadResourceString(int id) {
  switch (id) {
    case ids::kAboutMenuString:
      return "&About Kolvane...";
    default:
      return {};
  }
}

}  // namespace kolvane
