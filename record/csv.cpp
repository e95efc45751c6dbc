#include "record/csv.h"

#include <cstdio>

#include "record/names.h"

namespace kolvane::record {

namespace {

struct Civil {
  std::int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

// Days since 1970-01-01 to the proleptic Gregorian date (H. Hinnant's
// civil_from_days), valid for any day count.
Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);                    // [0, 146096]
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
  const unsigned mp = (5 * doy + 2) / 153;                                     // [0, 11]
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2), month, day};
}

}  // namespace

std::string FormatUtcMs(std::int64_t msSinceEpoch) {
  constexpr std::int64_t kMsPerDay = 86400000;
  std::int64_t days = msSinceEpoch / kMsPerDay;
  std::int64_t ms = msSinceEpoch % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
  const Civil c = CivilFromDays(days);
  const auto sec = static_cast<unsigned>(ms / 1000);
  char buf[48];
  // Integers only: printf never groups or localises them without the ' flag.
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02u:%02u:%02u.%03uZ",
                static_cast<long long>(c.year), c.month, c.day, sec / 3600, sec / 60 % 60, sec % 60,
                static_cast<unsigned>(ms % 1000));
  return buf;
}

std::string CsvRow(const ShownReading& shown, std::int64_t wallMs, double elapsedS) {
  const RowStatus status = StatusOf(shown);
  std::string row = FormatUtcMs(wallMs);
  row += ',';
  // A clock step backwards must not print "-0.000".
  row += FormatFixed(elapsedS > 0 ? elapsedS : 0.0, 3);
  row += ',';
  row += ModeName(shown.measureMode);
  row += ',';
  if (status == RowStatus::Ok) {
    row += FormatFixed(shown.reading.value, shown.reading.format.decimals);
  }
  row += ',';
  if (status == RowStatus::Ok) row += UnitName(shown.reading.format.unit);
  row += ',';
  row += StatusName(status);
  row += '\n';
  return row;
}

bool CsvWriter::Put(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  return Good();
}

bool CsvWriter::WriteHeader() {
  std::string line(kCsvHeader);
  line += '\n';
  return Put(line);
}

bool CsvWriter::WriteRow(const ShownReading& shown, std::int64_t wallMs, double elapsedS) {
  return Put(CsvRow(shown, wallMs, elapsedS));
}

}  // namespace kolvane::record
