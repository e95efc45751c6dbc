#include "fuzz/rig.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "measure/compute.h"
#include "resources/format.h"
#include "resources/ids.h"

namespace kolvane::fuzz {

namespace {

constexpr std::string_view kStopText = "          СТОП          ";
constexpr std::string_view kBlankDisplay = "                    ";

// A number as "%.<d>f" prints a non-negative value, d in [minD, maxD].
bool IsFixed(std::string_view s, int minD, int maxD) {
  const std::size_t dot = s.find('.');
  const std::string_view whole = s.substr(0, dot);
  const std::string_view frac = dot == std::string_view::npos ? "" : s.substr(dot + 1);
  const int d = dot == std::string_view::npos ? 0 : static_cast<int>(frac.size());
  const auto digits = [](std::string_view v) {
    return !v.empty() &&
           std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return digits(whole) && d >= minD && d <= maxD &&
         (d == 0 ? dot == std::string_view::npos : digits(frac));
}

std::uint32_t BigEndian(const std::uint8_t* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

template <class T>
bool Within(T v, T lo, T hi) {
  return v >= lo && v <= hi;
}

}  // namespace

void Fail(std::string_view invariant, const std::string& detail) {
  std::fprintf(stderr, "invariant broken: %.*s: %s\n", static_cast<int>(invariant.size()),
               invariant.data(), detail.c_str());
  std::abort();
}

std::string Tape::Bytes(std::size_t n) {
  n = std::min(n, size_ - std::min(pos_, size_));
  std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
  pos_ += n;
  return out;
}

bool IsDisplayText(std::string_view t) {
  if (t == " OL " || t == kStopText || t == kBlankDisplay) return true;
  struct Tail {
    std::string_view text;
    int minDecimals, maxDecimals;
  };
  static constexpr Tail kTails[] = {
      {" kHz                 ", 0, 4}, {" mkS                 ", 0, 5},
      {" mS                 ", 0, 6},  {"                     ", 0, 4},
      {"                  ", 6, 6},
  };
  if (t.size() < 2 || t[0] != ' ') return false;
  return std::any_of(std::begin(kTails), std::end(kTails), [&](const Tail& tail) {
    return t.size() > tail.text.size() + 1 && t.ends_with(tail.text) &&
           IsFixed(t.substr(1, t.size() - 1 - tail.text.size()), tail.minDecimals,
                   tail.maxDecimals);
  });
}

std::string LevelText(int pos) {
  return Format(" %d", protocol::LevelValue(pos));
}

std::string CalibrationText(int pos) {
  return Format("  %d", pos);
}

void FuzzWindow::SetText(int id, std::string_view text) {
  if (id == ids::kReadingDisplay && !IsDisplayText(text)) {
    Fail("display shows a reading format", "\"" + std::string(text) + "\"");
  }
  if (id == ids::kLevelText && text != LevelText(SpinGetPos(ids::kLevelSpin))) {
    Fail("level text agrees with its spin", "\"" + std::string(text) + "\" at position " +
                                                std::to_string(SpinGetPos(ids::kLevelSpin)));
  }
  if (id == ids::kCalibrationText && text != CalibrationText(SpinGetPos(ids::kCalibrationSpin))) {
    Fail("calibration text agrees with its spin",
         "\"" + std::string(text) + "\" at position " +
             std::to_string(SpinGetPos(ids::kCalibrationSpin)));
  }
  FakeWindow::SetText(id, text);
}

std::uint64_t bound::Action(int id) {
  constexpr std::uint64_t kRule7 = 2 * kRead, kRule6 = 2 * kRead + 1, kRule3Reads = 3 * kRead;
  constexpr std::uint64_t kSettle = 200;
  if (id >= ids::kTimestamp1 && id <= ids::kGate5) return kRule3Reads + 1;  // rules 1 to 3
  switch (id) {
    case ids::kChannelA:
    case ids::kChannelB:
    case ids::kChannelC:
      return kRule3Reads;  // rule 4
    case ids::kModeFrequency:
    case ids::kModePeriod:
      return kRule6;
    case ids::kModePulseDuration:
      return kSettle + kRule7;  // memory off after the dialog
    case ids::kModeTachometer:
    case ids::kModeDutyCycle:
      return kRule7 + kSettle + kRule6;
    case ids::kLaunchSingle:
      return kRead + kRule3Reads;  // drain, then rule 10
    case ids::kCalibrationSave:
      return kRule3Reads + 1 + kSettle + kRule6;  // rules 9 and 6
    case ids::kModeCalibration:
      return 10 + kRule3Reads;  // rule 5 after 10 ms
    case ids::kLaunchAuto:
    case ids::kTestMeasure:
    case ids::kMemory:
    case ids::kImpedance:
    case ids::kCoupling:
    case ids::kAttenuator:
    case ids::kGenerator:
    case ids::kLowPassFilter:
    case ids::kSlope:
    case ids::kLevelReset:
      return kRule7;  // rules 7 and 8
    default:
      return 0;  // Start, Config, ratio and count (their dialogs), hidden lists
  }
}

Rig::Rig(Tape& t) : tape(t) {
  window.Bind(panel);
  for (int first : {1001, 1006, 1013, 1016, 1066}) {
    const auto g = RadioGroup(first);
    window.AddRadioGroup(std::vector<int>(g.begin(), g.end()));
  }
  for (int id : {1073, 1095, 1025, 1050}) window.AddCheckBox(id);
}

void Rig::QueueChunk() {
  const std::uint8_t head = tape.Byte();
  const std::uint64_t delay = (head & 0x20) != 0 ? tape.Byte() * 8u : 0;
  const std::uint64_t gap = (head & 0x40) != 0 ? tape.Byte() : 0;
  ports.ReplySpaced(tape.Bytes(head & 0x1F), delay, gap);
}

void Rig::AnswerFromTape(int fixedSerial) {
  ports.OnWrite([this, fixedSerial](test::ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
    if (fixedSerial >= 0 && f == std::vector<std::uint8_t>{'B', '\r'}) {
      const std::uint8_t reply[] = {'N', static_cast<std::uint8_t>(fixedSerial)};
      p.Reply(reply);
    } else {
      QueueChunk();
    }
  });
}

bool Rig::Start() {
  const std::uint64_t start = clock.now;
  found = panel.OnInitDialog();
  if (clock.now - start > bound::kScan) {
    Fail("scan within its worst case", std::to_string(clock.now - start) + " ms");
  }
  const std::size_t held = ports.opened.size() - ports.closed.size();
  if (held != (found ? 1u : 0u)) {
    Fail("only the instrument's port stays held", std::to_string(held) + " open");
  }
  // The serial number shown is the byte that followed the "N" on the line.
  const std::string serial = window.GetText(ids::kSerialNumber);
  if (serial != Blanks(8)) {
    std::string line;
    for (const auto& r : ports.reads) {
      if (!ports.writes.empty() && r.at >= ports.writes.back().at) {
        line.append(r.data.begin(), r.data.end());
      }
    }
    if (!found || line.size() < 2 || line[0] != 'N' ||
        serial != Format("   000%d", static_cast<std::uint8_t>(line[1]))) {
      Fail("serial number is a byte the instrument sent", "\"" + serial + "\"");
    }
  }
  CheckState();
  return found;
}

void Rig::Tick() {
  const PanelState before = state;
  const std::size_t writes0 = ports.writes.size(), reads0 = ports.reads.size(),
                    texts0 = window.textLog.size();
  const bool readback = state.configRequested != 0;
  const bool polls = !readback && state.calibrationMode == 0 &&
                     (state.singleShot == 0 || state.measurementArmed != 0);
  const std::uint32_t n = state.measureMode == 6 || state.measureMode == 12 ? 8 : 4;

  const std::uint64_t start = clock.now;
  window.Send({WM_TIMER, 1, 0, 0});
  const std::uint64_t took = clock.now - start;
  const std::uint64_t limit = readback ? bound::kReadback : polls ? bound::Poll(n) : 0;
  if (took > limit) {
    Fail("tick within its worst case",
         std::to_string(took) + " ms, bound " + std::to_string(limit) + " ms");
  }
  if (state.configRequested != 0) Fail("a tick clears the readback request", "");
  if (readback) {
    CheckReadback(writes0, reads0, texts0, before);
  } else if (polls) {
    CheckReading(reads0, texts0, before.readingText);
  } else if (ports.reads.size() != reads0) {
    Fail("an idle tick leaves the port alone", "");
  }
  if (ports.writes.size() != writes0 + (readback && state.portHandle > 0 ? 1u : 0u)) {
    Fail("a tick writes only the readback request", "");
  }
  CheckState();
}

void Rig::CheckReading(std::size_t reads0, std::size_t texts0, const std::string& readingBefore) {
  std::vector<std::uint8_t> line;
  for (std::size_t i = reads0; i < ports.reads.size(); ++i) {
    line.insert(line.end(), ports.reads[i].data.begin(), ports.reads[i].data.end());
  }
  for (std::size_t i = texts0; i < window.textLog.size(); ++i) {
    const auto& [id, text] = window.textLog[i];
    if (id != ids::kReadingDisplay || text == kStopText) continue;
    // A result shown is the status byte and a whole field that the
    // instrument sent in this poll, never bytes an earlier exchange left.
    const std::uint32_t n = state.measureMode == 6 || state.measureMode == 12 ? 8 : 4;
    if (line.size() < n + 1) Fail("a reading comes from bytes sent", "\"" + text + "\"");
    const std::uint8_t* field = line.data() + line.size() - n;
    ReadingInputs in;
    in.measureMode = state.measureMode;
    in.timestampIndex = state.timestampIndex;
    in.gateIndex = state.gateIndex;
    in.launch = state.singleShot != 0 ? LaunchBranch::SingleShot : LaunchBranch::Automatic;
    in.testMeasureToggle = panel.testMeasureToggle;
    in.n1 = BigEndian(field);
    in.n2 = n == 8 ? BigEndian(field + 4) : 0;
    const auto reading = ComputeReading(in);
    const std::string expected = reading ? FormatReading(*reading) : readingBefore;
    if (text != expected) {
      Fail("a reading comes from bytes sent",
           "\"" + text + "\", the field gives \"" + expected + "\"");
    }
  }
}

void Rig::CheckReadback(std::size_t writes0, std::size_t reads0, std::size_t texts0,
                        const PanelState& before) {
  bool applied = false;
  for (std::size_t i = texts0; i < window.textLog.size(); ++i) {
    const auto& [id, text] = window.textLog[i];
    applied = applied || (id == ids::kReadingDisplay && text == kBlankDisplay);
  }
  const bool requested = ports.writes.size() > writes0 && ports.writes.back().Text() == "D1\r";
  if (state.portHandle > 0 && !requested) Fail("a readback sends \"D1\" CR", "");
  const test::ReadRecord* stateRead = nullptr;
  for (std::size_t i = reads0; i < ports.reads.size(); ++i) {
    if (ports.reads[i].asked == 15) stateRead = &ports.reads[i];
  }
  if (!applied) {
    if (state.measureMode != before.measureMode || state.timestampIndex != before.timestampIndex ||
        state.gateIndex != before.gateIndex || state.activeChannel != before.activeChannel ||
        !(state.inputA == before.inputA) || !(state.inputC == before.inputC) ||
        state.singleShot != before.singleShot) {
      Fail("a failed readback applies nothing", "");
    }
    return;
  }
  // Applied: every byte of the state came in this readback.
  if (stateRead == nullptr || stateRead->got != 15) {
    Fail("a readback applies only a whole state", "");
  }
  const auto& b = stateRead->data;
  for (std::size_t i = 0; i < 15; ++i) reported[i].set(b[i]);
  const int level = std::min<int>(b[12], 127);
  const bool ok =
      state.measureMode == b[0] + 1u && state.timestampIndex == b[1] + 1u &&
      state.gateIndex == b[2] + 1u && state.activeChannel == b[4] &&
      window.SpinGetPos(ids::kCalibrationSpin) == b[13] && state.calibrationCode == b[13] &&
      state.singleShot == (b[14] <= 1 ? b[14] : before.singleShot) &&
      (!(b[4] == 1 || b[4] == 4) || (window.SpinGetPos(ids::kLevelSpin) == level &&
                                     window.GetText(ids::kLevelText) == LevelText(level)));
  if (!ok) Fail("a readback applies the state it received", "");
}

void Rig::Wait(std::uint64_t ms) {
  const std::uint64_t end = clock.now + ms;
  for (int ticks = 0; ticks < 64; ++ticks) {
    auto it = window.timers.find(1);
    if (it == window.timers.end() || it->second.due > end) break;
    clock.AdvanceTo(it->second.due);
    it->second.due = clock.now + it->second.period;
    Tick();
  }
  clock.AdvanceTo(end);
}

void Rig::CheckState() {
  const PanelState& s = state;
  // Documented range, or a value the instrument itself reported for it.
  const auto rangeOr = [&](std::int64_t v, std::int64_t lo, std::int64_t hi, std::size_t byte,
                           std::int64_t offset) {
    const std::int64_t raw = v - offset;
    return Within(v, lo, hi) ||
           (raw >= 0 && raw < 256 && reported[byte].test(static_cast<std::size_t>(raw)));
  };
  const auto flag = [](std::int64_t v) { return v == 0 || v == 1; };
  const std::int64_t lowest = found ? 1 : 0;  // no mode or index before an instrument answered
  const auto input = [&](const InputSettings& in) {
    return rangeOr(in.impedance, 0, 1, 8, 0) && rangeOr(in.coupling, 0, 1, 10, 0) &&
           flag(in.attenuator) && flag(in.lowPassFilter) && rangeOr(in.slope, 0, 1, 7, 0);
  };
  const struct {
    const char* name;
    bool ok;
  } checks[] = {
      {"measureMode", rangeOr(s.measureMode, lowest, 12, 0, 1)},
      {"timestampIndex", rangeOr(s.timestampIndex, lowest, 5, 1, 1)},
      {"gateIndex", rangeOr(s.gateIndex, lowest, 5, 2, 1)},
      {"activeChannel", s.activeChannel == 0 || s.activeChannel == 1 || s.activeChannel == 2 ||
                            s.activeChannel == 4 || rangeOr(s.activeChannel, 0, 0, 4, 0)},
      {"flags", flag(s.singleShot) && flag(s.calibrationMode) && flag(s.calibrationUntouched) &&
                    flag(s.memoryUsed) && flag(s.measurementArmed) && flag(s.replyPending) &&
                    flag(s.configRequested) && flag(s.portFound)},
      {"inputA", input(s.inputA)},
      {"inputC", input(s.inputC)},
      {"choices", Within(s.countChoice, -1, 1) && Within(s.durationChoice, -1, 3) &&
                      Within(s.ratioChoice, -1, 2)},
      {"timestampRadio", rangeOr(panel.timestampRadio, -1, 4, 1, 0)},
      {"gateRadio", rangeOr(panel.gateRadio, -1, 4, 2, 0)},
      {"channelRadio", Within(panel.channelRadio, -1, 2)},
      {"modeRadio", Within(panel.modeRadio, -1, 7)},
      {"launchRadio", rangeOr(panel.launchRadio, -1, 1, 14, 0)},
      {"checks", flag(panel.filterCheck) && rangeOr(panel.slopeCheck, 0, 1, 7, 0) &&
                     flag(panel.testMeasureToggle) && flag(panel.memoryToggle)},
  };
  for (const auto& c : checks) {
    if (!c.ok) Fail("state stays in its ranges", c.name);
  }
  for (; progressSeen_ < window.progressLog.size(); ++progressSeen_) {
    const int p = window.progressLog[progressSeen_];
    if (p != 0 && p != 10) Fail("progress bar is empty or full", std::to_string(p));
  }
}

void Rig::Close() {
  const std::size_t writes0 = ports.writes.size();
  panel.DestroyWindow();
  if (found && (ports.writes.size() != writes0 + 1 || ports.writes.back().Text() != "J\r" ||
                ports.opened.size() != ports.closed.size())) {
    Fail("closing sends \"J\" CR and closes the port", "");
  }
}

}  // namespace kolvane::fuzz
