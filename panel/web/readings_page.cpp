#include "panel/web/readings_page.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "measure/compute.h"
#include "panel/web/assets.h"
#include "panel/web/live.h"
#include "panel/web/page.h"
#include "record/csv.h"
#include "record/names.h"
#include "record/summary.h"

namespace kolvane::web_panel {

namespace {

using json = nlohmann::json;

constexpr std::string_view kChangedText =
    "Функция или единица измерения изменилась: набор показаний очищен";

std::string Fixed(double v, int decimals) {
  return std::isfinite(v) ? FormatFixed(v, decimals) : "—";
}

std::string Significant(double v) {
  return std::isfinite(v) ? record::General(v, 4) : "—";
}

// A finite number or null; anything else is not a limit.
bool LimitAt(const json& limits, const char* key, std::optional<double>* out) {
  const auto it = limits.find(key);
  if (it == limits.end() || it->is_null()) return true;
  if (!it->is_number()) return false;
  const double v = it->get<double>();
  if (!std::isfinite(v)) return false;
  *out = v;
  return true;
}

std::optional<std::size_t> CountAt(const json& j, const char* key, std::size_t lo, std::size_t hi) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_number_integer()) return std::nullopt;
  const auto v = it->get<long long>();
  if (v < static_cast<long long>(lo) || v > static_cast<long long>(hi)) return std::nullopt;
  return static_cast<std::size_t>(v);
}

json Stats(const record::ReadingWindow& window, std::string_view* unit, std::string* mode,
           int* decimals) {
  const record::Summary s = window.Summarize();
  *mode = s.mode;
  *decimals = s.decimals;
  const int d = s.decimals;
  ReadingUnit u = ReadingUnit::None;
  for (const record::WindowRow& r : window.All()) {
    if (record::StatusOf(r.shown) == record::RowStatus::Ok) {
      u = r.shown.reading.format.unit;
      break;
    }
  }
  *unit = DisplayUnit(u);
  const bool any = s.readings > 0;
  return {{"count", std::to_string(s.readings)},
          {"mean", any ? Fixed(s.mean, std::min(d + 3, 15)) : "—"},
          {"sd", Significant(s.stdev)},
          {"min", any ? Fixed(s.min, d) : "—"},
          {"max", any ? Fixed(s.max, d) : "—"},
          {"pp", any ? Fixed(s.max - s.min, d) : "—"},
          {"adev", s.adev.empty() ? "—" : Significant(s.adev.front().adev)},
          {"tau", s.adev.empty() ? "—" : Significant(s.adev.front().tauS)}};
}

json Limit(const std::optional<double>& v) {
  return v ? json(*v) : json(nullptr);
}

}  // namespace

std::optional<ReadingsCommand> ParseReadingsCommand(std::string_view message) {
  if (message.size() > kMaxMessageBytes) return std::nullopt;
  const json j = json::parse(message, nullptr, false);
  if (!j.is_object()) return std::nullopt;
  ReadingsCommand c;
  if (const auto a = j.find("action"); a != j.end() && a->is_string()) {
    const std::string& action = a->get_ref<const std::string&>();
    if (action == "clear")
      c.kind = ReadingsCommand::Kind::kClear;
    else if (action == "pause")
      c.kind = ReadingsCommand::Kind::kPause;
    else if (action == "resume")
      c.kind = ReadingsCommand::Kind::kResume;
    else
      return std::nullopt;
    return c;
  }
  if (j.contains("size")) {
    const auto n = CountAt(j, "size", 1, record::ReadingWindow::kMaxSize);
    if (!n) return std::nullopt;
    return ReadingsCommand{ReadingsCommand::Kind::kSize, *n, {}};
  }
  if (j.contains("bins")) {
    const auto n = CountAt(j, "bins", 0, record::ReadingWindow::kMaxBins);
    if (!n) return std::nullopt;
    return ReadingsCommand{ReadingsCommand::Kind::kBins, *n, {}};
  }
  if (const auto l = j.find("limits"); l != j.end() && l->is_object()) {
    c.kind = ReadingsCommand::Kind::kLimits;
    if (!LimitAt(*l, "lower", &c.limits.lower) || !LimitAt(*l, "upper", &c.limits.upper)) {
      return std::nullopt;
    }
    if (c.limits.lower && c.limits.upper && *c.limits.lower > *c.limits.upper) return std::nullopt;
    return c;
  }
  return std::nullopt;
}

std::vector<std::string> RunReadings(record::ReadingWindow& window, const ReadingsCommand& command,
                                     bool viewOnly) {
  if (viewOnly) return {AlertMessage(kViewOnlyText)};
  switch (command.kind) {
    case ReadingsCommand::Kind::kClear:
      window.Clear();
      break;
    case ReadingsCommand::Kind::kPause:
      window.Pause(true);
      break;
    case ReadingsCommand::Kind::kResume:
      window.Pause(false);
      break;
    case ReadingsCommand::Kind::kSize:
      window.SetSize(command.number);
      break;
    case ReadingsCommand::Kind::kBins:
      window.SetBins(command.number);
      break;
    case ReadingsCommand::Kind::kLimits:
      window.SetLimits(command.limits);
      break;
  }
  return {};
}

std::string ReadingsMessage(const record::ReadingWindow& window, bool viewOnly) {
  std::string_view unit;
  std::string mode;
  int decimals = 0;
  json stats = Stats(window, &unit, &mode, &decimals);
  const record::Trend trend = window.MakeTrend(kTrendPoints);
  json t = json::array();
  // To the millisecond, as the CSV has it: shorter to send.
  for (double s : trend.elapsedS) t.push_back(std::round(s * 1000) / 1000);
  const record::Histogram hist = window.MakeHistogram();
  const auto first = window.FirstFailureWallMs();
  const json j = {
      {"type", "readings"},
      {"viewOnly", viewOnly},
      {"paused", window.Paused()},
      {"notice", window.ClearedByChange() ? kChangedText : std::string_view()},
      {"mode", mode},
      {"unit", unit},
      {"decimals", decimals},
      {"size", window.Size()},
      {"bins", window.Bins()},
      {"rows", window.Rows()},
      {"limits",
       {{"lower", Limit(window.GetLimits().lower)}, {"upper", Limit(window.GetLimits().upper)}}},
      {"stats", std::move(stats)},
      {"pass", window.Passed()},
      {"fail", window.Failed()},
      {"firstFail", first ? record::FormatUtcMs(*first) : std::string()},
      {"trend", {{"t", std::move(t)}, {"v", trend.values}, {"fail", trend.failing}}},
      {"hist", {{"lo", hist.lo}, {"width", hist.width}, {"counts", hist.counts}}}};
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string ReadingsPage(std::string_view title) {
  return "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>Показания "
         "— " +
         Escape(title) + "</title>\n<link rel=\"icon\" href=\"data:,\">\n<style>\n" +
         std::string(kReadingsStyle) + "</style>\n</head>\n<body>\n" + std::string(kReadingsBody) +
         "<script>\n" + std::string(kChartJs) + "\n</script>\n<script>\n" +
         std::string(kReadingsScript) + "</script>\n</body>\n</html>\n";
}

}  // namespace kolvane::web_panel
