#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <random>

#include "measure/compute.h"

namespace kolvane {
namespace {

constexpr auto kAuto = LaunchBranch::Automatic;
constexpr auto kSingle = LaunchBranch::SingleShot;
const std::string kKhz = " kHz" + std::string(17, ' ');
const std::string kMks = " mkS" + std::string(17, ' ');
const std::string kMs = " mS" + std::string(17, ' ');
const std::string kPlain(21, ' ');
const std::string kDuty(18, ' ');

struct Case {
  std::uint32_t mode, t, g;
  LaunchBranch launch;
  int test;
  std::uint32_t n1, n2;
  std::string expected;  // empty: no reading, the text stays as it was
};

std::string Text(const Case& c) {
  const auto r = ComputeReading({c.mode, c.t, c.g, c.launch, c.test, c.n1, c.n2});
  return r ? FormatReading(*r) : std::string();
}

const Case kCases[] = {
    // Frequency: the gate sets the decimals, the time stamp plays no part.
    {1, 2, 1, kAuto, 0, 1234, 0, " 1234" + kKhz},
    {1, 2, 3, kAuto, 0, 1234, 0, " 12.34" + kKhz},
    {1, 0, 5, kAuto, 0, 1234, 0, " 0.1234" + kKhz},
    {1, 2, 1, kAuto, 0, 4294967295u, 0, " 4294967295" + kKhz},
    {1, 2, 5, kAuto, 0, 4294967295u, 0, " 429496.7295" + kKhz},
    // Period and the second duration variant: stamp and gate decimals add.
    {2, 1, 2, kAuto, 0, 1234, 0, " 12.34" + kMks},
    {2, 1, 5, kAuto, 0, 1234, 0, " 0.01234" + kMks},
    {2, 2, 1, kAuto, 0, 250, 0, " 250" + kMks},
    {2, 3, 5, kAuto, 0, 1234, 0, " 0.001234" + kMs},
    {4, 4, 3, kAuto, 0, 1234, 0, " 1.234" + kMs},
    {4, 5, 1, kAuto, 0, 1234, 0, " 1234" + kMs},
    // Single-pulse variants ignore the gate.
    {3, 2, 5, kAuto, 0, 250, 0, " 250" + kMks},
    {3, 1, 1, kAuto, 0, 1234, 0, " 123.4" + kMks},
    {5, 5, 4, kAuto, 0, 7, 0, " 7" + kMs},
    {5, 3, 0, kAuto, 0, 1234, 0, " 12.34" + kMs},
    // Fourth duration variant: by launch branch and test function.
    {6, 1, 3, kAuto, 1, 1234, 9, " 123.400" + kMks},
    {6, 1, 1, kAuto, 0, 2, 5, " 400.000" + kMks},
    {6, 2, 2, kAuto, 0, 1234, 9, " 12.340" + kMks},
    {6, 4, 2, kAuto, 0, 1234, 9, " 12.340" + kMs},
    {6, 1, 2, kSingle, 0, 1234, 9, " 123.400" + kMks},
    {6, 5, 0, kSingle, 0, 3, 1, " 3000.000" + kMs},
    {6, 2, 1, kAuto, 0, 4294967295u, 1, " 4294967295000.000" + kMks},
    {6, 1, 1, kAuto, 0, 1234, 0, " OL "},
    {6, 1, 1, kSingle, 1, 1234, 0, " OL "},
    // Counts and the tachometer show the count whatever stamp and gate.
    {7, 1, 5, kAuto, 0, 99, 0, " 99" + kPlain},
    {8, 0, 0, kAuto, 0, 99, 0, " 99" + kPlain},
    {9, 5, 2, kAuto, 0, 4294967295u, 0, " 4294967295" + kPlain},
    {11, 3, 4, kAuto, 0, 0, 0, " 0" + kPlain},
    // Ratio.
    {10, 1, 3, kAuto, 0, 1234, 0, " 12.34" + kPlain},
    {10, 1, 5, kAuto, 0, 5, 0, " 0.0005" + kPlain},
    // Duty cycle: divide, then scale; the top bit of the first count is not count.
    {12, 1, 1, kAuto, 0, 3, 4, " 0.750000" + kDuty},
    {12, 1, 2, kAuto, 0, 1000, 3, " 33.333333" + kDuty},
    {12, 1, 1, kAuto, 0, 0x80000003u, 4, " 0.750000" + kDuty},
    {12, 1, 1, kAuto, 0, 3, 0, " OL "},
    {12, 1, 1, kSingle, 0, 3, 0, " OL "},
    // Out of range: no row.
    {0, 2, 1, kAuto, 0, 1, 0, ""},
    {13, 2, 1, kAuto, 0, 1, 0, ""},
    {1, 2, 0, kAuto, 0, 1, 0, ""},
    {1, 2, 6, kAuto, 0, 1, 0, ""},
    {2, 6, 1, kAuto, 0, 1, 0, ""},
    {3, 0, 1, kAuto, 0, 1, 0, ""},
    {12, 1, 6, kAuto, 0, 1, 1, ""},
};

TEST(ComputeReading, ValueUnitDecimalsAndText) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " t " << c.t << " g " << c.g << " n1 "
                                    << c.n1 << " n2 " << c.n2);
    EXPECT_EQ(Text(c), c.expected);
  }
}

// Scales are products with the nearest doubles: a quotient would round
// differently for some counts (e.g. 3 * 0.1 is not 3 / 10).
TEST(ComputeReading, ScalesAreMultiplications) {
  const auto r = ComputeReading({10, 1, 2, kAuto, 0, 3, 0});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->value, 3 * 0.1);
  EXPECT_NE(r->value, 3 / 10.0);
  const auto d = ComputeReading({12, 1, 3, kAuto, 0, 1, 3});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->value, (1.0 / 3.0) * 0.01);
}

// Every reading format, one row each, its printf literal written out in
// full; the expected number is put in place of the %.Nf.
struct FormatRow {
  std::uint32_t mode, t, g, n1, n2;
  const char* literal;
  const char* number;
};

const FormatRow kFormatRows[] = {
    {1, 2, 1, 1234567, 0, " %.0f kHz                 ", "1234567"},
    {1, 2, 2, 1234567, 0, " %.1f kHz                 ", "123456.7"},
    {1, 2, 3, 1234567, 0, " %.2f kHz                 ", "12345.67"},
    {1, 2, 4, 1234567, 0, " %.3f kHz                 ", "1234.567"},
    {1, 2, 5, 1234567, 0, " %.4f kHz                 ", "123.4567"},
    {2, 2, 1, 1234567, 0, " %.0f mkS                 ", "1234567"},
    {2, 1, 1, 1234567, 0, " %.1f mkS                 ", "123456.7"},
    {2, 1, 2, 1234567, 0, " %.2f mkS                 ", "12345.67"},
    {4, 1, 3, 1234567, 0, " %.3f mkS                 ", "1234.567"},
    {2, 2, 5, 1234567, 0, " %.4f mkS                 ", "123.4567"},
    {4, 1, 5, 1234567, 0, " %.5f mkS                 ", "12.34567"},
    {2, 5, 1, 1234567, 0, " %.0f mS                 ", "1234567"},
    {4, 4, 1, 1234567, 0, " %.1f mS                 ", "123456.7"},
    {2, 3, 1, 1234567, 0, " %.2f mS                 ", "12345.67"},
    {2, 4, 3, 1234567, 0, " %.3f mS                 ", "1234.567"},
    {4, 5, 5, 1234567, 0, " %.4f mS                 ", "123.4567"},
    {2, 4, 5, 1234567, 0, " %.5f mS                 ", "12.34567"},
    {2, 3, 5, 1234567, 0, " %.6f mS                 ", "1.234567"},
    {10, 1, 1, 1234567, 0, " %.0f                     ", "1234567"},
    {10, 1, 2, 1234567, 0, " %.1f                     ", "123456.7"},
    {10, 1, 3, 1234567, 0, " %.2f                     ", "12345.67"},
    {10, 1, 4, 1234567, 0, " %.3f                     ", "1234.567"},
    {10, 1, 5, 1234567, 0, " %.4f                     ", "123.4567"},
    {12, 1, 1, 1, 8, " %.6f                  ", "0.125000"},
    {6, 1, 1, 1, 0, " OL ", ""},
    {12, 1, 1, 1, 0, " OL ", ""},
};

TEST(FormatReading, EveryFormatByteForByte) {
  for (const FormatRow& r : kFormatRows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " t " << r.t << " g " << r.g << " \""
                                    << r.literal << "\"");
    std::string expected = r.literal;
    if (const auto at = expected.find('%'); at != std::string::npos) {
      expected.replace(at, 4, r.number);
    }
    EXPECT_EQ(Text({r.mode, r.t, r.g, kAuto, 0, r.n1, r.n2, ""}), expected);
  }
}

// The number must round exactly as printf's %.Nf does in the C locale.
TEST(FormatFixed, RoundsLikePrintf) {
  std::mt19937 rng(12345);
  std::vector<double> values{0.5, 1.5, 2.5, 0.125, 0.375, 1e-08, 0.0, 4294967295.0, 0.045, 1.005};
  const double scales[] = {1.0, 0.1, 0.01, 0.001, 0.0001, 1e-05, 1e-06, 1e-07, 1e-08};
  for (int i = 0; i < 3000; ++i) {
    const double n = static_cast<double>(rng());
    for (double s : scales) values.push_back(n * s);
    values.push_back(n / static_cast<double>(rng() | 1u));
  }
  for (double v : values) {
    for (int d = 0; d <= 6; ++d) {
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.*f", d, v);
      ASSERT_EQ(FormatFixed(v, d), buf) << v << " with " << d << " decimals";
    }
  }
}

// A decimal-comma locale must not reach the reading. The locale is made
// with localedef when the system has none installed.
bool UseDecimalCommaLocale() {
#ifdef _WIN32
  // Windows has its locales built in, under names of its own.
  return std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
#else
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) return true;
  const auto dir = std::filesystem::temp_directory_path() / "kolvane-test-locales";
  const auto made = dir / "de_DE.UTF-8";
  if (!std::filesystem::exists(made)) {
    std::filesystem::create_directories(dir);
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + made.string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
  }
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
#endif
}

TEST(FormatReading, SameTextUnderDecimalCommaLocale) {
  if (!UseDecimalCommaLocale()) GTEST_SKIP() << "no decimal-comma locale available";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.2f", 12.34);
  const std::string seen = probe;
  const std::string mhz = Text({1, 2, 3, kAuto, 0, 1234, 0, ""});
  const std::string duty = Text({12, 1, 1, kAuto, 0, 3, 4, ""});
  std::setlocale(LC_NUMERIC, "C");
#ifndef _WIN32
  unsetenv("LOCPATH");
#endif
  ASSERT_EQ(seen, "12,34");  // the locale really was in force
  EXPECT_EQ(mhz, " 12.34" + kKhz);
  EXPECT_EQ(duty, " 0.750000" + kDuty);
}

// A program-wide C++ locale with a decimal comma must not reach it either.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(FormatReading, SameTextUnderCommaGlobalCppLocale) {
  const std::locale before =
      std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  const std::string khz = Text({1, 2, 5, kAuto, 0, 4294967295u, 0, ""});
  const std::string mks = Text({6, 1, 1, kAuto, 0, 2, 5, ""});
  const std::string duty = Text({12, 1, 2, kAuto, 0, 1000, 3, ""});
  std::locale::global(before);
  EXPECT_EQ(khz, " 429496.7295" + kKhz);
  EXPECT_EQ(mks, " 400.000" + kMks);
  EXPECT_EQ(duty, " 33.333333" + kDuty);
}

}  // namespace
}  // namespace kolvane
