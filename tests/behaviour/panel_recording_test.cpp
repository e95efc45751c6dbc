#include "record/panel_recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

namespace fs = std::filesystem;
using record::kRecordCommand;

constexpr std::int64_t kWall = 1796655845123;  // 2026-12-07T15:04:05.123Z
const std::string k1234Khz = " 12.34 kHz" + std::string(17, ' ');
const std::string kHeader = "time,elapsed_s,mode,value,unit,status\n";

// A stream that takes `room` bytes and fails every write after them.
class LimitedBuf : public std::streambuf {
 public:
  LimitedBuf(std::string& out, std::size_t room) : out_(out), room_(room) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof() || out_.size() >= room_) return traits_type::eof();
    out_.push_back(static_cast<char>(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const auto k = std::min<std::streamsize>(n, static_cast<std::streamsize>(room_ - out_.size()));
    out_.append(s, static_cast<std::size_t>(k));
    return k;
  }

 private:
  std::string& out_;
  std::size_t room_;
};

struct LimitedStream : std::ostream {
  LimitedStream(std::string& out, std::size_t room) : std::ostream(nullptr), buf(out, room) {
    rdbuf(&buf);
  }
  LimitedBuf buf;
};

// The panel past its readback, recording through its menu entry, with the
// wall clock following the virtual one.
struct RecordingPanel : PanelHarness {
  explicit RecordingPanel(record::PanelRecording::Opener open = record::PanelRecording::OpenFile)
      : recording(
            [this] {
              return record::Instant{kWall + static_cast<std::int64_t>(clock.now),
                                     static_cast<double>(clock.now) / 1000.0};
            },
            std::move(open)) {
    panel.SetRecording(&recording);
    InstrumentOn(1);
    Init();
    state.configRequested = 0;
    state.measureMode = 1;
    state.gateIndex = 3;
    state.timestampIndex = 2;
    dir = fs::temp_directory_path() /
          ("kolvane-rec-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(dir);
  }
  ~RecordingPanel() { fs::remove_all(dir); }

  void Choose(std::optional<std::string> answer) {
    window.saveAnswers.push_back(std::move(answer));
    window.Send({WM_SYSCOMMAND, kRecordCommand, 0, 0});
  }
  // One result (or the instrument's 'N') arriving and the tick that shows it.
  void Result(std::vector<std::uint8_t> bytes) {
    ports.Reply(bytes);
    Tick();
    clock.now += 250;
  }
  bool Checked() const {
    const auto it = window.systemMenuChecks.find(kRecordCommand);
    return it != window.systemMenuChecks.end() && it->second;
  }

  record::PanelRecording recording;
  fs::path dir;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const std::vector<std::uint8_t> kResult{'G', 0, 0, 0x04, 0xD2};
const std::vector<std::uint8_t> kStop{'N'};

TEST(PanelRecording, RowsForShownResultsFromChoosingTheEntryUntilChosenAgain) {
  RecordingPanel p;
  ASSERT_EQ(p.window.systemMenu.size(), 3u);
  EXPECT_EQ(p.window.systemMenu[1].first, 16) << "About stays above";
  EXPECT_EQ(p.window.systemMenu[2],
            (std::pair<int, std::string>{0x100, "Записывать показания в файл..."}));

  // Cancelled: nothing changes.
  p.Choose(std::nullopt);
  ASSERT_EQ(p.window.saveRequests.size(), 1u);
  const std::string name = p.window.saveRequests[0].second;
  ASSERT_EQ(name.size(), std::string("kolvane-YYYYMMDD-HHMMSS.csv").size()) << name;
  EXPECT_EQ(name.rfind("kolvane-", 0), 0u);
  EXPECT_EQ(name.substr(16, 1) + name.substr(23), "-.csv");
  EXPECT_TRUE(std::all_of(name.begin() + 8, name.begin() + 16, [](char ch) {
    return ch >= '0' && ch <= '9';
  })) << name;
  EXPECT_FALSE(p.Checked());
  EXPECT_FALSE(p.recording.Active());

  p.Result(kResult);  // shown before recording: no row
  const fs::path file = p.dir / "run.csv";
  p.Choose(file.string());
  EXPECT_TRUE(p.Checked());
  p.Result(kResult);
  p.Result({'E'});  // an error status shows nothing, so no row
  p.Result(kStop);
  p.Result(kResult);
  EXPECT_EQ(p.window.GetText(1092), k1234Khz) << "the display is the panel's as ever";
  p.Choose(std::nullopt);  // stopping asks nothing
  EXPECT_EQ(p.window.saveRequests.size(), 2u);
  EXPECT_FALSE(p.Checked());
  p.Result(kResult);  // after stopping: no row

  EXPECT_EQ(Slurp(file), kHeader +
                             "2026-12-07T15:04:05.673Z,0.000,f,12.34,kHz,ok\n"
                             "2026-12-07T15:04:06.173Z,0.500,f,,,stop\n"
                             "2026-12-07T15:04:06.423Z,0.750,f,12.34,kHz,ok\n");
  EXPECT_TRUE(p.window.messageBoxes.empty());
  EXPECT_TRUE(fs::remove(file)) << "closed, so it can go even on Windows";
}

TEST(PanelRecording, ClosingThePanelClosesTheFile) {
  RecordingPanel p;
  const fs::path file = p.dir / "closing.csv";
  p.Choose(file.string());
  p.Result(kResult);
  p.panel.DestroyWindow();
  EXPECT_FALSE(p.recording.Active());
  const std::string text = Slurp(file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_TRUE(fs::remove(file));
}

TEST(PanelRecording, AFileThatCannotBeWrittenStopsRecordingWithAMessageAndThePanelGoesOn) {
  struct Case {
    const char* name;
    std::size_t room;     // bytes the file takes; 0: a real file in a folder that is not there
    std::size_t results;  // shown while recording
    std::string message;  // of the one message box
    long lines;           // complete lines that reached the file
  };
  const std::size_t row = std::string("2026-12-07T15:04:05.123Z,0.000,f,12.34,kHz,ok\n").size();
  const Case kCases[] = {
      {"no such folder", 0, 0, "Не удалось начать запись показаний в файл ", 0},
      {"the header fails", 10, 0, "Не удалось начать запись показаний в файл ", 0},
      {"the second row fails", kHeader.size() + row + 5, 2,
       "Запись показаний остановлена: ошибка записи в файл ", 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string written;
    RecordingPanel p([&](const std::string& path) -> std::unique_ptr<std::ostream> {
      if (c.room == 0) return record::PanelRecording::OpenFile(path);
      return std::make_unique<LimitedStream>(written, c.room);
    });
    const std::string path = (p.dir / (c.room == 0 ? "gone/x.csv" : "x.csv")).string();
    p.Choose(path);
    for (std::size_t i = 0; i < c.results; ++i) p.Result(kResult);
    ASSERT_EQ(p.window.messageBoxes.size(), 1u);
    EXPECT_EQ(p.window.messageBoxes[0], c.message + path);
    EXPECT_FALSE(p.Checked());
    EXPECT_FALSE(p.recording.Active());
    if (c.room > 0) {
      EXPECT_EQ(written.size(), c.room);
      EXPECT_EQ(written.rfind(kHeader.substr(0, std::min(c.room, kHeader.size())), 0), 0u);
      EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), c.lines);
    }
    // The panel goes on showing results, and the entry may be chosen again.
    p.window.SetText(1092, "");
    p.Result(kResult);
    EXPECT_EQ(p.window.GetText(1092), k1234Khz);
    EXPECT_EQ(p.window.messageBoxes.size(), 1u);
    p.Choose(std::nullopt);
    EXPECT_EQ(p.window.saveRequests.size(), 2u);
  }
}

}  // namespace
}  // namespace kolvane::test
