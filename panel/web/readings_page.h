// The /readings page: the last readings as a trend and a histogram, their
// statistics, and a limit test, live over its own WebSocket. The set, its
// size, the bin count and the limits are the server's (record::
// ReadingWindow): every page shows the same, and a change from one page
// shows in all.
//
// To the page: {"type":"readings","viewOnly":B,"paused":B,"notice":S,
// "mode":S,"unit":S,"decimals":N,"size":N,"bins":N,"rows":N,"limits":{"lower":X,"upper":X},
// "stats":{"count","mean","sd","min","max","pp","adev","tau"} (texts),
// "pass":N,"fail":N,"firstFail":S,"trend":{"t":[s...],"v":[...],"fail":[i...]},
// "hist":{"lo":X,"width":X,"counts":[N...]}}; {"type":"alert","text":S}.
// From the page: {"action":"clear"|"pause"|"resume"}, {"size":N},
// {"bins":N} (0: automatic), {"limits":{"lower":X|null,"upper":X|null}}.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/reading_window.h"

namespace kolvane::web_panel {

// Points of the trend drawn at most: the set is thinned to them.
inline constexpr std::size_t kTrendPoints = 2000;

struct ReadingsCommand {
  enum class Kind { kClear, kPause, kResume, kSize, kBins, kLimits };
  Kind kind = Kind::kClear;
  std::size_t number = 0;  // size or bins
  record::Limits limits;
};

// Nothing for a message that is not one of the page's.
std::optional<ReadingsCommand> ParseReadingsCommand(std::string_view message);

// Carries out a page's command on the set; what goes back to that page
// alone (the refusal of a view-only server).
std::vector<std::string> RunReadings(record::ReadingWindow& window, const ReadingsCommand& command,
                                     bool viewOnly);

std::string ReadingsMessage(const record::ReadingWindow& window, bool viewOnly);

std::string ReadingsPage(std::string_view title);

}  // namespace kolvane::web_panel
