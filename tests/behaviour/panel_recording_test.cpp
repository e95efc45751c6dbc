#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "panel/recording_entry.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kWall = 1796655845123;  // 2026-12-07T15:04:05.123Z
const std::string kHeader = "time,elapsed_s,mode,value,unit,status\n";
const std::string k1234Khz = " 12.34 kHz" + std::string(17, ' ');
const std::vector<std::uint8_t> kResult{'G', 0, 0, 0x04, 0xD2};

// A file that takes `room` bytes and fails every write after them.
struct FullFile : std::streambuf, std::ostream {
  explicit FullFile(std::size_t room) : std::ostream(this), room_(room) {}
  std::streambuf::int_type overflow(std::streambuf::int_type c) override {
    if (room_ == 0) return std::char_traits<char>::eof();
    --room_;
    return c;
  }
  std::size_t room_;
};

// The panel past its readback with a recording whose wall clock follows the
// virtual one; `room` > 0 puts a file of that size behind every path.
struct RecordingPanel : PanelHarness {
  explicit RecordingPanel(std::size_t room = 0)
      : recording(
            [this] {
              return record::Instant{kWall + static_cast<std::int64_t>(clock.now),
                                     static_cast<double>(clock.now) / 1000.0};
            },
            [room](const std::string& path) -> std::unique_ptr<std::ostream> {
              if (room == 0) return record::PanelRecording::OpenFile(path);
              return std::make_unique<FullFile>(room);
            }) {
    panel.SetRecording(&recording);
    InstrumentOn(1);
    Init();
    state.configRequested = 0;
    state.gateIndex = 3;
    fs::create_directories(dir);
  }
  ~RecordingPanel() { fs::remove_all(dir); }

  void Choose(std::optional<std::string> answer) {
    window.saveAnswers.push_back(std::move(answer));
    window.Send({WM_SYSCOMMAND, record::kRecordCommand, 0, 0});
  }
  // One answer of the instrument and the tick that shows it; 250 ms pass.
  void Result(const std::vector<std::uint8_t>& bytes) {
    ports.Reply(bytes);
    Tick();
    clock.now += 250;
  }
  bool Checked() { return window.systemMenuChecks[record::kRecordCommand]; }

  record::PanelRecording recording;
  fs::path dir = fs::temp_directory_path() /
                 ("kolvane-rec-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(PanelRecording, RowsForShownResultsFromChoosingTheEntryUntilChosenAgainOrClosing) {
  RecordingPanel p;
  ASSERT_EQ(p.window.systemMenu.size(), 3u);
  EXPECT_EQ(p.window.systemMenu[1].first, 16) << "About stays above";
  EXPECT_EQ(p.window.systemMenu[2],
            (std::pair<int, std::string>{0x100, "Записывать показания в файл..."}));

  p.Choose(std::nullopt);  // cancelled: nothing changes
  ASSERT_EQ(p.window.saveRequests.size(), 1u);
  const std::string name = p.window.saveRequests[0].second;
  EXPECT_EQ(name.substr(0, 8) + name.substr(16, 1) + name.substr(23), "kolvane--.csv") << name;
  EXPECT_EQ(name.find_first_not_of("0123456789", 8), 16u) << name;
  EXPECT_EQ(name.find_first_not_of("0123456789", 17), 23u) << name;
  EXPECT_FALSE(p.Checked());

  p.Result(kResult);  // shown before recording: no row
  const fs::path file = p.dir / "run.csv";
  p.Choose(file.string());
  EXPECT_TRUE(p.Checked());
  p.Result(kResult);
  p.Result({'E'});  // an error status shows nothing, so no row
  p.Result({'N'});
  p.Result(kResult);
  EXPECT_EQ(p.window.GetText(1092), k1234Khz);
  p.window.Send({WM_SYSCOMMAND, record::kRecordCommand, 0, 0});  // stopping asks nothing
  EXPECT_EQ(p.window.saveRequests.size(), 2u);
  EXPECT_FALSE(p.Checked());
  p.Result(kResult);
  EXPECT_EQ(Slurp(file), kHeader +
                             "2026-12-07T15:04:05.673Z,0.000,f,12.34,kHz,ok\n"
                             "2026-12-07T15:04:06.173Z,0.500,f,,,stop\n"
                             "2026-12-07T15:04:06.423Z,0.750,f,12.34,kHz,ok\n");
  EXPECT_TRUE(fs::remove(file)) << "closed, so it can go even on Windows";

  p.Choose(file.string());  // a new file, its time from its own first row
  p.Result(kResult);
  p.panel.DestroyWindow();
  EXPECT_FALSE(p.recording.Active());
  EXPECT_EQ(Slurp(file), kHeader + "2026-12-07T15:04:06.923Z,0.000,f,12.34,kHz,ok\n");
  EXPECT_TRUE(fs::remove(file));
  EXPECT_TRUE(p.window.messageBoxes.empty());
}

TEST(PanelRecording, AFileThatCannotBeWrittenStopsRecordingWithAMessageAndThePanelGoesOn) {
  struct Case {
    const char* name;
    std::size_t room;  // bytes the file takes; 0: a real file in a missing folder
    std::string message;
  };
  const Case kCases[] = {
      {"no such folder", 0, "Не удалось начать запись показаний в файл "},
      {"the header fails", 10, "Не удалось начать запись показаний в файл "},
      {"the second row fails", kHeader.size() + 50,
       "Запись показаний остановлена: ошибка записи в файл "},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RecordingPanel p(c.room);
    const std::string path = (p.dir / "gone" / "x.csv").string();
    p.Choose(path);
    p.Result(kResult);
    p.Result(kResult);
    ASSERT_EQ(p.window.messageBoxes.size(), 1u);
    EXPECT_EQ(p.window.messageBoxes[0], c.message + path);
    EXPECT_FALSE(p.Checked());
    EXPECT_FALSE(p.recording.Active());
    p.window.SetText(1092, "");
    p.Result(kResult);
    EXPECT_EQ(p.window.GetText(1092), k1234Khz) << "the panel goes on";
    EXPECT_EQ(p.window.messageBoxes.size(), 1u);
  }
}

}  // namespace
}  // namespace kolvane::test
