#include "record/status_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "record/summary.h"

namespace kolvane::record {

namespace {

std::string Clock(double s) {
  const auto total = static_cast<unsigned long long>(std::max(0.0, s));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", total / 3600, total / 60 % 60, total % 60);
  return buf;
}

}  // namespace

std::string StatusLine(const StatusInfo& info, std::size_t width) {
  constexpr std::size_t kMinBar = 10, kMaxBar = 30;
  // In order of importance; the bar goes between the first and the rest.
  std::vector<std::string> parts{Clock(info.elapsedS)};
  double fraction = 0;
  if (info.fraction) {
    fraction = std::clamp(*info.fraction, 0.0, 1.0);
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", static_cast<int>(std::floor(fraction * 100)));
    parts.push_back(pct);
  }
  if (!info.last.empty()) parts.push_back("last " + info.last);
  parts.push_back("n " + std::to_string(info.n));
  if (!std::isnan(info.mean)) parts.push_back("mean " + General(info.mean, 10));
  if (!std::isnan(info.stdev)) parts.push_back("sd " + General(info.stdev, 3));

  const auto join = [&](std::size_t count, std::size_t bar) {
    std::string line = parts[0];
    if (bar > 0) {
      const auto filled = static_cast<std::size_t>(std::floor(fraction * static_cast<double>(bar)));
      line += " [" + std::string(filled, '#') + std::string(bar - filled, '-') + ']';
    }
    for (std::size_t i = 1; i < count; ++i) line += "  " + parts[i];
    return line;
  };
  const std::size_t full = join(parts.size(), 0).size();
  if (info.fraction && full + 3 + kMinBar <= width) {
    return join(parts.size(), std::min(kMaxBar, width - full - 3));
  }
  for (std::size_t count = parts.size(); count >= 1; --count) {
    if (join(count, 0).size() <= width) return join(count, 0);
  }
  return join(1, 0).substr(0, width);
}

}  // namespace kolvane::record
