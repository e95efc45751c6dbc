// The plot as the logger makes it: no application object of the caller's and
// no display.
#include "app/plot/plot.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <cstdlib>
#include <filesystem>

namespace kolvane::qt {
namespace {

record::Statistics Sample(std::uint32_t mode, int n) {
  record::Statistics stats;
  for (int i = 0; i < n; ++i) {
    const double x = 12345.678 + 0.001 * (i % 7) + 1e-5 * i;
    stats.Add({ShownKind::Value, mode, {x, {ReadingUnit::Kilohertz, 3}}}, 0.1 * i);
  }
  return stats;
}

TEST(Plot, WritesPngAndSvgWithoutADisplay) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  const auto dir = std::filesystem::temp_directory_path() / "kolvane-plot-test";
  std::filesystem::create_directories(dir);
  struct Case {
    std::uint32_t mode;
    int n;
    const char* file;
  };
  // Frequency with its Allan deviation; a count without one; a long run
  // drawn from its column extremes; no readings at all.
  for (const Case& c : {Case{1, 500, "f.png"}, Case{1, 500, "f.svg"}, Case{7, 50, "count.png"},
                        Case{1, 100000, "long.png"}, Case{1, 0, "none.svg"}}) {
    const record::Statistics stats = Sample(c.mode, c.n);
    const std::string path = (dir / c.file).string();
    std::filesystem::remove(path);
    EXPECT_EQ(WritePlot(stats.Summarize(), stats.Series(), path), "") << c.file;
    ASSERT_GT(std::filesystem::file_size(path), 1000u) << c.file;
    if (path.ends_with(".png")) {
      EXPECT_EQ(QImage(QString::fromStdString(path)).size(), QSize(1200, 900)) << c.file;
    } else {
      QFile f(QString::fromStdString(path));
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      EXPECT_TRUE(f.readAll().contains("<svg")) << c.file;
    }
  }
  const record::Statistics stats = Sample(1, 10);
  EXPECT_NE(WritePlot(stats.Summarize(), stats.Series(), (dir / "no/such/dir/p.png").string()), "");
}

}  // namespace
}  // namespace kolvane::qt
