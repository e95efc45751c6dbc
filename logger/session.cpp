#include "logger/session.h"

#include <string_view>
#include <vector>

#include "counter/counter.h"
#include "counter/instrument_session.h"
#include "counter/scan_report.h"
#include "protocol/protocol.h"
#include "resources/texts.h"

namespace kolvane::logger {

namespace {

constexpr std::string_view kProgram = "kolvane-log: ";

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  return text;
}

class Session {
 public:
  Session(const LogOptions& request, const SessionDeps& deps, IReadingSink& sink)
      : req_(request),
        deps_(deps),
        sink_(sink),
        session_(deps.ports, deps.clock, state_),
        counter_(session_.Instrument()) {
    // The panel's start values until the readback says otherwise.
    counter_.AssumeStartValues();
  }

  SessionResult Run() {
    ScanReport report(deps_.describeOpenFailure);
    const int first = req_.port.value_or(1);
    const int last = req_.port.value_or(9);
    if (!session_.Scan(report, first, last)) {
      report.Print(deps_.messages, "kolvane-log");
      return {kExitNoInstrument, 0};
    }
    // The panel's first tick: the instrument's own configuration.
    if (!ReadBack()) {
      deps_.messages << kProgram
                     << "the instrument's configuration could not be read back; "
                        "recording with the panel's start settings\n";
    }
    int status = ApplySettings();
    if (status == kExitOk) {
      status = Record();
      if (deps_.beforeClose) deps_.beforeClose();
    }
    session_.Close();
    return {status, rows_};
  }

 private:
  bool ReadBack() { return session_.ReadBack(3) == StateReply::Ok; }

  // Sends one setting; false (with its text on stderr) when it failed.
  template <class Operation>
  bool Send(Operation operation, const std::string& what) {
    // Results that came before the frame are no acknowledgement of it; with
    // results flowing they would otherwise be read as one.
    session_.DropUnreadInput();
    const Outcome outcome = operation();
    if (outcome.Acknowledged()) return true;
    Refused(outcome.text, what);
    return false;
  }

  void Refused(const std::string& text, const std::string& what) {
    deps_.messages << Trimmed(text) << "\n"
                   << kProgram << "the instrument did not take " << what
                   << "; nothing was recorded\n";
  }

  int Failed() { return session_.Lost() ? LinkFailed() : kExitNotAcknowledged; }

  int LinkFailed() {
    deps_.messages << kProgram << "the line to the instrument failed (read or write error)\n";
    return kExitLinkFailed;
  }

  int ApplySettings() {
    const auto& kStamps = protocol::kTimestampNames;
    const auto& kGates = protocol::kGateNames;
    Counter& c = counter_;
    if (req_.timestampIndex) {
      const int i = *req_.timestampIndex;
      if (!Send([&] { return c.SetTimestamp(i); },
                std::string("--timestamp ") + kStamps[static_cast<std::size_t>(i - 1)])) {
        return Failed();
      }
    }
    if (req_.gateIndex) {
      const int i = *req_.gateIndex;
      if (!Send([&] { return c.SetGate(i); },
                std::string("--gate ") + kGates[static_cast<std::size_t>(i - 1)])) {
        return Failed();
      }
    }
    if (req_.channel) {
      const auto& kCodes = protocol::kChannels;
      const auto i = static_cast<std::size_t>(*req_.channel);
      const std::string what = std::string("--channel ") + "ABC"[i];
      if (const auto refusal = c.ChannelRefusal(kCodes[i])) {
        Refused(refusal->text, what);
        return kExitNotAcknowledged;
      }
      if (!Send([&] { return c.SelectChannel(kCodes[i]); }, what)) return Failed();
      // Channels A and C ask for a readback, on the panel's next (slower) tick.
      if (*req_.channel != Channel::B) {
        deps_.clock.Sleep(protocol::kSlowPollMs);
        ReadBack();
      }
    }
    if (req_.mode) {
      bool ok = true;
      switch (*req_.mode) {
        case LogMode::Frequency:
          ok = Send([&] { return c.SetFrequencyMode(); }, "--mode f");
          break;
        case LogMode::Period:
          ok = Send([&] { return c.SetPeriodMode(); }, "--mode T");
          break;
        case LogMode::Tachometer:
          c.Settle();
          ok = Send([&] { return c.SetTachometerMode(); }, "--mode tacho");
          break;
        case LogMode::DutyCycle:
          c.Settle();
          ok = Send([&] { return c.SetDutyCycleMode(); }, "--mode duty");
          break;
      }
      if (!ok) return Failed();
    }
    return session_.Lost() ? LinkFailed() : kExitOk;
  }

  bool Done() const {
    if (deps_.stopRequested && deps_.stopRequested()) return true;
    if (req_.count && rows_ >= *req_.count) return true;
    if (req_.durationS &&
        static_cast<double>(deps_.clock.NowMs() - start_) >= *req_.durationS * 1e3) {
      return true;
    }
    return false;
  }

  int Record() {
    // A result that began after the last reply gets its row, even when the
    // acknowledgement's read took its status byte.
    session_.Resync();
    start_ = deps_.clock.NowMs();
    bool armed = false;
    while (!Done()) {
      // In single shot each result is asked for, as Start does.
      if (state_.singleShot != 0 && !armed) {
        counter_.Start();
        armed = true;
      }
      // Back to back, not on the panel's 20 ms timer: the status read waits
      // for the next result, and a fast gate would otherwise fill the line.
      const CounterReading r = counter_.Poll(true);
      if (session_.Lost()) return LinkFailed();
      const auto& shown = r.shown;
      if (!shown) continue;
      sink_.OnShown(*shown);
      ++rows_;
      armed = false;
    }
    return kExitOk;
  }

  const LogOptions& req_;
  const SessionDeps& deps_;
  IReadingSink& sink_;
  CounterState state_;
  InstrumentSession session_;
  Counter& counter_;
  std::uint64_t rows_ = 0;
  std::uint64_t start_ = 0;
};

}  // namespace

SessionResult RunSession(const LogOptions& request, SessionDeps deps, IReadingSink& sink) {
  Session session(request, deps, sink);
  return session.Run();
}

}  // namespace kolvane::logger
