// The instrument's readings: the poll between commands, and the readings
// READ?, FETCh? and MEASure? wait for.
#include <cmath>
#include <cstdlib>

#include "scpi/instrument.h"
#include "scpi/parameters.h"
#include "scpi/reading.h"

namespace kolvane::scpi {

namespace {

// A poll's status read waits up to the link's read time-out; a result may
// take the gate and three of those.
constexpr std::uint64_t kResultGraceMs = 3 * kLinkTimeouts.readTotalTimeoutConstant;
// A lost line is tried again between commands this often.
constexpr std::uint64_t kReopenEveryMs = 1000;
// ... and a port that opened on a silent instrument this often.
constexpr std::uint64_t kSilentRetryMs = 5000;
// Results kept for a FETCh? that has not come yet.
constexpr std::size_t kMaxPolled = 1 << 16;

}  // namespace

std::uint64_t Instrument::ResultWaitMs() const {
  const auto& gates = protocol::kGateSeconds;
  const std::uint32_t g = St().gateIndex;
  const double seconds = g >= 1 && g <= gates.size() ? gates[g - 1] : gates.back();
  return static_cast<std::uint64_t>(seconds * 1000) + kResultGraceMs;
}

void Instrument::Took(const ShownReading& shown) {
  if (watch_) watch_(shown);
  if (shown.kind != ShownKind::Value) return;
  const Configuration c = Current();
  LiveReading r;
  r.function = FunctionToken(c);
  r.channel = ChannelNumber(St().activeChannel);
  switch (shown.reading.format.unit) {
    case ReadingUnit::Kilohertz:
      r.unit = "Hz";
      break;
    case ReadingUnit::Microseconds:
    case ReadingUnit::Milliseconds:
      r.unit = "s";
      break;
    case ReadingUnit::None:
    case ReadingUnit::Overflow:
      break;
  }
  // The digits SCPI gives, so that both agree to the last one.
  r.value = std::strtod(ToNr3(shown.reading).c_str(), nullptr);
  if (shown.reading.format.unit == ReadingUnit::Overflow) r.value = std::nan("");
  live_.Reading(std::move(r));
}

void Instrument::View(const std::function<void(const PanelModel&, bool)>& view) {
  view(model_, LinkUp());
}

void Instrument::AsUser(const std::function<void(PanelModel&, bool)>& action) {
  action(model_, LinkUp());
  if (connected_ && !model_.Session().Lost()) ChannelReadBack();
  NoteLink();
}

bool Instrument::LinkUp() {
  return connected_ && !model_.Session().Lost() && !resync_;
}

void Instrument::NoteLink() {
  live_.Link(LinkUp());
}

void Instrument::Tick() {
  if (!connected_) return;
  if (model_.Session().Lost() || resync_) {
    // Gone, or opened again without an answer yet.
    NoteLink();
    const std::uint64_t now = clock_.NowMs();
    if (now < nextReopenMs_) return;
    nextReopenMs_ = now + kReopenEveryMs;
    Ready();
    // A port that opens on an instrument that does not answer costs a
    // readback's wait: tried less often, so that commands are not held.
    if (resync_) nextReopenMs_ = clock_.NowMs() + kSilentRetryMs;
    NoteLink();
    return;
  }
  if (St().singleShot != 0 || St().calibrationMode != 0) return;
  // After a command's reply the next byte should start a result, as for
  // INITiate; nothing to do when it does.
  model_.Session().Resync();
  // All that waits, within a bound: one a tick falls behind above 50 results/s.
  for (int n = 0; n < 16; ++n) {
    const CounterReading r = model_.Instrument().PollIfWaiting();
    NoteLink();
    // On the panel's display too, for its views (the pages).
    model_.Panel().ShowPolled(r);
    if (!r.shown) return;
    Took(*r.shown);
    if (collecting_ && polled_.size() < kMaxPolled) polled_.push_back(*r.shown);
  }
}

void Instrument::Arm() {
  polled_.clear();
  collecting_ = true;
  model_.Drain();
  // The next byte should start a result; a drain may have cut one.
  model_.Session().Resync();
  if (St().singleShot != 0) model_.Instrument().Start();
}

bool Instrument::Acquire(int n, bool armed, std::vector<std::string>& readings,
                         std::vector<Error>& errors, const std::atomic<bool>* cancel) {
  struct Collected {
    ~Collected() {
      inst.collecting_ = false;
      inst.polled_.clear();
    }
    Instrument& inst;
  } done{*this};
  for (int i = 0; i < n; ++i) {
    if (St().singleShot != 0 && (i > 0 || !armed)) model_.Instrument().Start();
    const std::uint64_t deadline = clock_.NowMs() + ResultWaitMs();
    std::optional<std::string> value;
    do {
      if (cancel != nullptr && cancel->load()) return false;
      CounterReading r;
      if (!polled_.empty()) {
        // Taken by a tick since INITiate.
        r.shown = polled_.front();
        polled_.pop_front();
      } else {
        // Back to back, as the logger polls: the status read waits for a result.
        r = model_.Instrument().Poll(true);
        if (model_.Session().Lost()) {
          NoteLink();
          errors.push_back({err::kHardware, "the line to the instrument failed"});
          return false;
        }
        // On the panel's display as well, as the panel's own poll shows it.
        model_.Panel().ShowPolled(r);
        if (r.shown) Took(*r.shown);
      }
      if (!r.shown) continue;
      if (r.shown->kind == ShownKind::Stop) {
        errors.push_back({err::kStale, "the instrument reported the measurement interrupted"});
        value = kNotANumber;
      } else {
        value = ToNr3(r.shown->reading);
      }
    } while (!value && clock_.NowMs() < deadline);
    if (!value) {
      // The rest would wait as long for nothing.
      errors.push_back(
          {err::kNoResult, "no result within " + std::to_string(ResultWaitMs()) + " ms"});
      readings.resize(static_cast<std::size_t>(n), kNotANumber);
      return true;
    }
    readings.push_back(*value);
  }
  return true;
}

}  // namespace kolvane::scpi
