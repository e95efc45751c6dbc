// SCPI lines from the input, run by a session over the simulator's
// instrument model on the scripted port, with faults, stray bytes, odd panel
// states and a pulled bridge from the input too. After each line: one reply
// line whenever the line held a query (or an error was queued), only known
// error codes, only the command set's frames on the line, and the
// instrument's state within its ranges or holding what the instrument said.
#include <set>
#include <string>
#include <vector>

#include "fuzz/rig.h"
#include "protocol/protocol.h"
#include "scpi/session.h"
#include "sim/instrument.h"

namespace kolvane::fuzz {
namespace {

std::string Frame(const protocol::SettingFrame& f) {
  std::string s(1, f.command.letter);
  if (f.command.param != kNoParam) s += static_cast<char>(f.command.param);
  return s + '\r';
}

// Every frame the command set may write; "L" and "Y" carry any byte.
const std::set<std::string>& CommandSet() {
  static const std::set<std::string> frames = [] {
    std::set<std::string> s{"B\r", "D1\r", "C\r", "J\r"};
    const auto add = [&](const auto& table) {
      for (const auto& f : table) s.insert(Frame(f));
    };
    add(protocol::kTimestampFrames);
    add(protocol::kGateFrames);
    add(protocol::kChannelFrames);
    add(protocol::kDurationFrames);
    add(protocol::kCountFrames);
    add(protocol::kRatioFrames);
    add(protocol::kGeneratorFrames);
    add(protocol::kImpedanceFrames);
    add(protocol::kCouplingFrames);
    add(protocol::kAttenuatorFrames);
    add(protocol::kFilterFrames);
    add(protocol::kSlopeFrames);
    for (const auto& f :
         {protocol::kFrequencyFrame, protocol::kPeriodFrame, protocol::kTachometerFrame,
          protocol::kDutyCycleFrame, protocol::kMemoryOffFrame, protocol::kMemoryOnFrame,
          protocol::kTestOffFrame, protocol::kTestOnFrame, protocol::kLaunchAutoFrame,
          protocol::kLaunchSingleFrame, protocol::kCalibrationSaveFrame}) {
      s.insert(Frame(f));
    }
    return s;
  }();
  return frames;
}

bool InCommandSet(const std::string& w) {
  if (w.size() == 3 && (w[0] == 'L' || w[0] == 'Y') && w[2] == '\r') return true;
  return CommandSet().count(w) != 0;
}

// Faults the model may be given; "state:" takes its bytes from the input.
constexpr const char* kFaults[] = {"clear",         "silent",
                                   "noack:T",       "noack:K",
                                   "noack:R",       "noack:D",
                                   "badack:M2",     "lateack:T3:1500",
                                   "stray:K1:3",    "late-config",
                                   "short-state:7", "status-n:1",
                                   "status-e:1",    "late-status:1100:1",
                                   "short-count:1", "garbage:1",
                                   "zero-n2:1",     "late-count:1100:1",
                                   "late-hello"};

bool HasQuery(std::string_view line) {
  for (std::string_view text : scpi::SplitUnits(scpi::WithoutCr(line))) {
    if (scpi::IsBlank(text)) continue;
    scpi::Error e;
    const auto unit = scpi::ParseUnit(text, e);
    if (unit && unit->header.query) return true;
  }
  return false;
}

struct Bench {
  explicit Bench(Tape& t) : tape(t), model(Options()) {
    ports.AddPort("COM1:");
    ports.OnWrite([this](test::ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
      const auto now = static_cast<double>(clock.now);
      model.Receive(f, now);
      while (const auto due = model.NextDue()) {
        if (*due > now + 5000) break;
        for (const auto& chunk : model.TakeDue(*due)) {
          // A reply read out of step may put any of these into the state.
          Reported(chunk);
          p.Reply(chunk, static_cast<std::uint64_t>(*due - now));
        }
      }
    });
  }
  static sim::InstrumentOptions Options() {
    sim::InstrumentOptions o;
    o.rate = 0;
    return o;
  }

  // What the instrument said of each state byte, beyond the ranges.
  void Reported(const sim::PanelBytes& b) {
    for (std::size_t i = 0; i < b.size(); ++i) reported[i].insert(b[i]);
  }
  void Reported(const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t c : bytes) {
      for (auto& r : reported) r.insert(c);
    }
  }

  void CheckState() {
    const CounterState& s = instrument.State();
    const auto said = [&](std::size_t byte, std::uint32_t v) {
      return v <= 255 && reported[byte].count(static_cast<std::uint8_t>(v)) != 0;
    };
    const auto check = [&](bool ok, const char* what) {
      if (!ok) Fail("the state stays in its ranges", std::string(what) + " after " + last);
    };
    check((s.measureMode >= 1 && s.measureMode <= 12) || said(protocol::kMode, s.measureMode - 1),
          "measureMode");
    check((s.timestampIndex >= 1 && s.timestampIndex <= 5) ||
              said(protocol::kTimestamp, s.timestampIndex - 1),
          "timestampIndex");
    check((s.gateIndex >= 1 && s.gateIndex <= 5) || said(protocol::kGate, s.gateIndex - 1),
          "gateIndex");
    check(s.activeChannel == 1 || s.activeChannel == 2 || s.activeChannel == 4 ||
              said(protocol::kChannel, s.activeChannel),
          "activeChannel");
    check(s.generator == 0 || s.generator == 1 ||
              said(protocol::kGenerator, static_cast<std::uint32_t>(s.generator)),
          "generator");
    check(s.ratioVariant >= 0 && s.ratioVariant <= 2, "ratioVariant");
    check(s.test == 0 || s.test == 1, "test");
    check(s.memory == 0 || s.memory == 1, "memory");
    check(s.singleShot <= 1, "singleShot");
    check(s.calibrationMode <= 1, "calibrationMode");
    for (std::uint32_t ch : {protocol::kChannelA, protocol::kChannelC}) {
      const int level = instrument.LevelPosition(ch);
      check(
          (level >= 0 && level <= 127) || said(protocol::kLevel, static_cast<std::uint32_t>(level)),
          "level");
    }
    check(instrument.CalibrationValue() >= 0 && instrument.CalibrationValue() <= 255,
          "calibration");
  }

  void Line(const std::string& line) {
    last = line;
    const std::uint64_t errorsBefore = session.Errors().Pushed();
    const std::size_t writesBefore = ports.writes.size();
    const auto reply = session.Execute(line);
    const bool errors = session.Errors().Pushed() != errorsBefore;
    if (HasQuery(line) && !reply && !errors) {
      Fail("a line with queries gives a reply or an error", line);
    }
    if (!HasQuery(line) && reply) Fail("a line without queries gives no reply", line);
    if (reply &&
        (reply->find('\n') != std::string::npos || reply->find('\r') != std::string::npos)) {
      Fail("one reply line", *reply);
    }
    for (const scpi::Error& e : session.Errors().Entries()) {
      if (scpi::ErrorText(e.code).empty() || e.code == 0) {
        Fail("every error code is standard or documented", std::to_string(e.code));
      }
    }
    for (std::size_t i = writesBefore; i < ports.writes.size(); ++i) {
      if (!InCommandSet(ports.writes[i].Text())) {
        Fail("no frame outside the command set", ports.writes[i].Text());
      }
    }
    CheckState();
  }

  Tape& tape;
  test::VirtualClock clock;
  test::ScriptedPorts ports{clock};
  sim::Instrument model;
  scpi::Instrument instrument{ports, clock};
  // A million single-shot readings would take the run's whole time.
  scpi::ScpiSession session{instrument,
                            [] {
                              return scpi::Identity{"Kolvane", "M", "0005", "1"};
                            },
                            100};
  std::array<std::set<std::uint8_t>, 15> reported{};
  bool plugged = true;
  std::string last;  // the line last run, for a report
};

}  // namespace
}  // namespace kolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  using namespace kolvane::fuzz;
  Tape tape(data, size);
  Bench b(tape);
  b.Reported(b.model.State());
  IScanObserver quiet;
  if (!b.instrument.Connect(1, 1, quiet)) Fail("the instrument on COM1 is found", "");
  b.CheckState();
  for (int step = 0; step < 24 && !tape.Empty(); ++step) {
    const std::uint8_t op = tape.Byte();
    switch (op % 8) {
      case 0: {  // a panel state, as the instrument will read it back
        sim::PanelBytes s{};
        for (auto& byte : s) byte = tape.Byte();
        std::string word = "state:";
        for (std::size_t i = 0; i < s.size(); ++i) word += (i ? "," : "") + std::to_string(s[i]);
        std::string why;
        b.model.ApplyWord(word, &why);
        b.Reported(s);
        break;
      }
      case 1: {  // a fault of the model's
        std::string why;
        b.model.ApplyWord(kFaults[tape.Byte() % std::size(kFaults)], &why);
        break;
      }
      case 2: {  // bytes on the line, due in a while
        // Any of them may end up read as a state byte.
        const std::uint8_t head = tape.Byte();
        const std::string bytes = tape.Bytes(head & 0x1F);
        b.Reported(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        b.ports.Reply(bytes, (head >> 5) * 4u);
        break;
      }
      case 3:  // the bridge pulled or put back
        if (b.plugged) {
          b.ports.Unplug("COM1:");
        } else {
          b.ports.Replug("COM1:");
        }
        b.plugged = !b.plugged;
        break;
      default: {  // a line, up to its LF
        std::string line;
        while (!tape.Empty()) {
          const char c = static_cast<char>(tape.Byte());
          if (c == '\n') break;
          line += c;
        }
        b.Line(line);
        break;
      }
    }
  }
  b.instrument.Close();
  return 0;
}
