#include "sim/instrument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kolvane::sim {

namespace {

// A frame left incomplete this long is given up, so that one lost byte costs
// one frame and not the rest of the session.
constexpr double kPartialFrameMs = 500;
constexpr std::uint8_t kGarbage[] = {0x00, 0x3F, 0xFF};
constexpr std::uint8_t kStrayByte = 0x3F;

struct Signal {
  double hz;
  double duty;
};
constexpr Signal kChannelA{12345.678, 0.3};
constexpr Signal kChannelB{7654321.0, 0.5};
constexpr Signal kChannelC{2500.0, 0.5};
constexpr Signal kReference{1e6, 0.5};

std::size_t ChannelIndex(std::uint8_t code) {
  return code == 2 ? 1 : code == 4 ? 2 : 0;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(sep);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::uint32_t Quantize(double x) {
  if (!(x > 0)) return 0;
  if (x >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(x);
}

// A frame key for faults: "M2", "D1", or a letter alone ("B", "L").
bool ValidFrameKey(std::string_view key) {
  if (key.empty() || key.size() > 2) return false;
  const std::size_t len = FrameLength(static_cast<std::uint8_t>(key[0]));
  if (len == 0) return false;
  if (key.size() == 1) return true;
  return len == 3 && key[0] != 'L' && key[0] != 'Y' && key[1] >= '0' && key[1] <= '9';
}

}  // namespace

PanelBytes DefaultState() {
  return {kFrequency, 1, 2, 0, 1, 0, 0, 0, 1, 1, 0, 1, 64, 128, 0};
}

std::optional<PanelBytes> ParseState(std::string_view text) {
  const auto parts = Split(text, ',');
  if (parts.size() != 15) return std::nullopt;
  PanelBytes out{};
  for (std::size_t i = 0; i < 15; ++i) {
    if (!ParseNumber(parts[i], &out[i])) return std::nullopt;
  }
  return out;
}

std::string Printable(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out += static_cast<char>(b);
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

Counts MeasureCounts(const PanelBytes& state, std::uint8_t ratioVariant, double elapsedS,
                     std::mt19937& rng, const SignalModel& signal, double sinceFirstS) {
  const bool test = state[kTest] == 1;
  std::normal_distribution<double> drift(0.0, 2e-6);
  std::uniform_real_distribution<double> phaseOf(0.0, 1.0);
  const auto sample = [&](const Signal& s) {
    return test ? kReference : Signal{s.hz * (1.0 + drift(rng)), s.duty};
  };
  const Signal channels[] = {kChannelA, kChannelB, kChannelC};
  const auto settable = [&](const Signal& s) {
    double hz = signal.hz + signal.driftHzPerS * sinceFirstS;
    if (signal.noiseHz > 0) hz += std::normal_distribution<double>(0.0, signal.noiseHz)(rng);
    return Signal{std::max(hz, 1e-3), s.duty};
  };
  const Signal& own = channels[ChannelIndex(state[kChannel])];
  const Signal in = signal.hz > 0 && !test ? settable(own) : sample(own);
  // Where the gate opens within the input's cycle: the usual one-count jitter.
  const double phase = phaseOf(rng);
  const auto q = [&](double x) { return Quantize(x + phase); };

  const int g = std::min<int>(state[kGate], 4);
  const int t = std::min<int>(state[kTimestamp], 4);
  const double gateS = std::pow(10.0, g - 3);
  const double tickS = std::pow(10.0, t - 7);
  const double averaged = std::pow(10.0, g);
  const double period = 1.0 / in.hz;
  const double pulse = in.duty * period;

  Counts c;
  switch (state[kMode]) {
    case kFrequency:
    case kCountByDuration:
      c.n1 = q(in.hz * gateS);
      break;
    case kPeriod:
      c.n1 = q(period / tickS * averaged);
      break;
    case kDuration1:
      c.n1 = q(pulse / tickS);
      break;
    case kDuration2:
      c.n1 = q(pulse / tickS * averaged);
      break;
    case kDuration3:
      c.n1 = q((period - pulse) / tickS);
      break;
    case kDuration4: {
      c.wide = true;
      const double value = pulse / (t <= 1 ? 1e-6 : 1e-3);  // in the unit the panel shows
      if (state[kLaunch] == 1 || test) {
        static constexpr double kStep[] = {0.1, 1, 10, 100, 1000};
        c.n1 = q(value / kStep[t]);
        c.n2 = 1;
      } else if (g == 0) {
        c.n2 = std::max<std::uint32_t>(1, q(in.hz));  // pulses in one second
        c.n1 = q(value * c.n2 / 1000.0);
      } else {
        c.n1 = q(value * 100.0);
        c.n2 = std::max<std::uint32_t>(1, q(in.hz * gateS));
      }
      break;
    }
    case kCountByPeriod:
      c.n1 = q(period / tickS);
      break;
    case kCountVariant:
      c.n1 = q(in.hz * std::max(0.0, elapsedS));
      break;
    case kRatio: {
      const Signal a = sample(kChannelA), b = sample(kChannelB), cc = sample(kChannelC);
      const double ratio = ratioVariant == 1   ? cc.hz / a.hz
                           : ratioVariant == 2 ? b.hz / cc.hz
                                               : a.hz / cc.hz;
      c.n1 = q(ratio * averaged);
      break;
    }
    case kTachometer:
      c.n1 = q(in.hz * 60.0);  // one mark per turn, in turns per minute
      break;
    case kDutyCycle: {
      // Period over pulse, counted in 1 ns ticks; N1 carries the averaging.
      c.wide = true;
      double n1 = period / 1e-9 * averaged;
      double n2 = pulse / 1e-9;
      while (n1 >= 2147483648.0) {  // N1 has 31 bits here
        n1 /= 10;
        n2 /= 10;
      }
      c.n1 = std::min<std::uint32_t>(q(n1), 0x7FFFFFFFu);
      c.n2 = std::max<std::uint32_t>(1, q(n2));
      break;
    }
    default:
      c.n1 = q(in.hz * gateS);
      break;
  }
  return c;
}

Bytes EncodeCounts(const Counts& c) {
  Bytes out;
  for (std::uint32_t v : {c.n1, c.n2}) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    if (!c.wide) break;
  }
  return out;
}

Instrument::Instrument(InstrumentOptions options) : options_(options), rng_(options.seed) {
  SetState(options.state);
  for (auto& ch : channels_) {
    std::copy(state_.begin() + kSlope, state_.begin() + kLevel + 1, ch.begin());
  }
}

void Instrument::SetState(const PanelBytes& s) {
  state_ = s;
  std::copy(s.begin() + kSlope, s.begin() + kLevel + 1,
            channels_[ChannelIndex(s[kChannel])].begin());
}

void Instrument::SelectChannel(std::size_t index) {
  static constexpr std::uint8_t kCodes[] = {1, 2, 4};
  state_[kChannel] = kCodes[index];
  const auto& ch = channels_[index];
  std::copy(ch.begin(), ch.end(), state_.begin() + kSlope);
}

void Instrument::SetChannelByte(StateByte which, std::uint8_t value) {
  state_[which] = value;
  channels_[ChannelIndex(state_[kChannel])][which - kSlope] = value;
}

std::string Instrument::FaultHelp() {
  return "Fault words (--fault WORD, or one per line on the control FIFO):\n"
         "  silent              answer nothing at all\n"
         "  late-hello[:MS]     answer \"B\" only after MS ms (default 1200)\n"
         "  noack:F             no reply to frame F (F is a letter and digit such as M2,\n"
         "                      or a letter alone for all its frames, e.g. L or B)\n"
         "  lateack:F:MS        reply to F after MS ms\n"
         "  badack:F[:HH]       reply to F with the byte HH (hex, default 58 'X') instead of CR\n"
         "  stray:F[:N]         N stray bytes (default 2) before the reply to F\n"
         "  late-config[:MS]    the \"C\" of the panel-state reply after MS ms (default 1100)\n"
         "  short-state[:K]     only K of the 15 state bytes (default 10)\n"
         "  late-status[:MS[:N]]  results: status byte MS ms late (default 1100)\n"
         "  late-count[:MS[:N]]   results: count field MS ms after the status (default 1100)\n"
         "  short-count[:N]     results: only the first 2 count bytes\n"
         "  status-n[:N]        results: status 'N' and no counts\n"
         "  status-e[:N]        results: status 'E' and no counts\n"
         "  garbage[:N]         results: stray bytes halfway to the next result\n"
         "  zero-n2[:N]         results: second count 0 (8-byte fields)\n"
         "  drop-after:N        close the line after N more frames\n"
         "  drop                close the line now (control FIFO)\n"
         "  state:b0,...,b14    set the panel state\n"
         "  clear               remove every fault\n"
         "Result faults hit every result, or the next N when N is given.\n";
}

bool Instrument::ApplyWord(std::string_view word, std::string* error) {
  const auto parts = Split(word, ':');
  const std::string_view name = parts[0];
  const std::size_t args = parts.size() - 1;
  const auto bad = [&](std::string_view why) {
    *error = std::string(why) + ": " + std::string(word);
    return false;
  };
  // Optional numeric argument i, or its default.
  const auto number = [&](std::size_t i, double fallback, double* out) {
    if (args < i) {
      *out = fallback;
      return true;
    }
    return ParseNumber(parts[i], out) && *out >= 0;
  };

  if (name == "silent" && args == 0) {
    silent_ = true;
  } else if (name == "clear" && args == 0) {
    silent_ = false;
    frameFaults_.clear();
    cycleFaults_.clear();
    shortState_.reset();
    dropAfter_.reset();
  } else if (name == "drop" && args == 0) {
    dropNow_ = true;
  } else if (name == "drop-after" && args == 1) {
    std::uint64_t n = 0;
    if (!ParseNumber(parts[1], &n)) return bad("bad frame count");
    dropAfter_ = framesSeen_ + n;
    if (n == 0) dropNow_ = true;
  } else if (name == "state" && args == 1) {
    const auto s = ParseState(parts[1]);
    if (!s) return bad("a state is 15 numbers 0..255 separated by commas");
    SetState(*s);
  } else if (name == "late-hello" || name == "late-config") {
    double ms = 0;
    if (args > 1 || !number(1, name == "late-hello" ? 1200 : 1100, &ms)) return bad("bad delay");
    frameFaults_[name == "late-hello" ? "B" : "D1"].delay = ms;
  } else if (name == "short-state" && args <= 1) {
    double k = 0;
    if (!number(1, 10, &k) || k > 14 || k != std::floor(k)) return bad("bad byte count");
    shortState_ = static_cast<std::size_t>(k);
  } else if (name == "noack" || name == "lateack" || name == "badack" || name == "stray") {
    if (args < 1 || !ValidFrameKey(parts[1])) return bad("unknown frame");
    FrameFault f = frameFaults_[std::string(parts[1])];
    if (name == "noack" && args == 1) {
      f.noAck = true;
    } else if (name == "lateack" && args == 2) {
      if (!ParseNumber(parts[2], &f.delay) || f.delay < 0) return bad("bad delay");
    } else if (name == "badack" && args <= 2) {
      unsigned b = 'X';
      if (args == 2) {
        const auto r = std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), b, 16);
        if (r.ec != std::errc() || r.ptr != parts[2].data() + parts[2].size() || b > 255 ||
            b == kCr) {
          return bad("bad reply byte");
        }
      }
      f.badAck = static_cast<std::uint8_t>(b);
    } else if (name == "stray" && args <= 2) {
      double n = 0;
      if (!number(2, 2, &n) || n < 1 || n > 16) return bad("bad byte count");
      f.stray = static_cast<std::size_t>(n);
    } else {
      return bad("wrong arguments");
    }
    frameFaults_[std::string(parts[1])] = f;
  } else {
    static const std::map<std::string_view, std::pair<Cycle, double>> kCycle = {
        {"late-status", {Cycle::kLateStatus, 1100}}, {"late-count", {Cycle::kLateCount, 1100}},
        {"short-count", {Cycle::kShortCount, -1}},   {"status-n", {Cycle::kStatusN, -1}},
        {"status-e", {Cycle::kStatusE, -1}},         {"garbage", {Cycle::kGarbage, -1}},
        {"zero-n2", {Cycle::kZeroN2, -1}},
    };
    const auto it = kCycle.find(name);
    if (it == kCycle.end()) return bad("unknown fault word");
    const bool timed = it->second.second >= 0;
    CycleFault f;
    std::size_t next = 1;
    if (timed) {
      if (!number(1, it->second.second, &f.ms)) return bad("bad delay");
      next = 2;
    }
    if (args > next) return bad("too many arguments");
    if (args == next) {
      unsigned n = 0;
      if (!ParseNumber(parts[next], &n) || n == 0) return bad("bad result count");
      f.left = n;
    }
    cycleFaults_[it->second.first] = f;
  }
  return true;
}

void Instrument::Schedule(double at, Bytes bytes) {
  Chunk c{at, seq_++, std::move(bytes)};
  const auto pos = std::upper_bound(pending_.begin(), pending_.end(), c,
                                    [](const Chunk& a, const Chunk& b) { return a.at < b.at; });
  pending_.insert(pos, std::move(c));
}

std::vector<Bytes> Instrument::Receive(std::span<const std::uint8_t> bytes, double now) {
  std::vector<Bytes> seen;
  if (!partial_.empty() && now - partialSince_ > kPartialFrameMs) {
    seen.push_back(partial_);
    partial_.clear();
  }
  for (std::uint8_t b : bytes) {
    if (partial_.empty()) {
      if (FrameLength(b) == 0) {
        seen.push_back({b});
        continue;
      }
      partialSince_ = now;
    }
    partial_.push_back(b);
    if (partial_.size() == FrameLength(partial_[0])) {
      seen.push_back(partial_);
      Handle(partial_, now);
      partial_.clear();
    }
  }
  return seen;
}

const Instrument::FrameFault* Instrument::FaultFor(const Bytes& frame) const {
  const std::string letter(1, static_cast<char>(frame[0]));
  if (frame.size() == 3) {
    const auto it = frameFaults_.find(letter + static_cast<char>(frame[1]));
    if (it != frameFaults_.end()) return &it->second;
  }
  const auto it = frameFaults_.find(letter);
  return it == frameFaults_.end() ? nullptr : &it->second;
}

void Instrument::Answer(const Bytes& frame, Bytes reply, double now) {
  if (silent_) return;
  double delay = 0;
  if (const FrameFault* f = FaultFor(frame)) {
    if (f->noAck) return;
    if (f->badAck && reply == Bytes{kCr}) reply[0] = *f->badAck;
    reply.insert(reply.begin(), f->stray, kStrayByte);
    delay = f->delay;
  }
  Schedule(now + delay, std::move(reply));
}

void Instrument::Begin(double now) {
  session_ = true;
  countingSince_ = now;
  RestartMeasurement(now);
}

double Instrument::Period() const {
  return options_.rate > 0 ? 1000.0 / options_.rate : 100.0;
}

void Instrument::RestartMeasurement(double now) {
  if (session_ && state_[kLaunch] == 0 && options_.rate > 0) {
    nextResult_ = now + Period();
  } else {
    nextResult_.reset();
  }
}

bool Instrument::Setup(const protocol::DecodedFrame& f, double now) {
  const int v = f.value;
  const auto set = [&](StateByte b, int value) { state_[b] = static_cast<std::uint8_t>(value); };
  const auto setMode = [&](ModeCode code) {
    set(kMode, code);
    // DL4 measures on C: the counter switches there itself, and the panel
    // sends no channel frame with it.
    if (code == kDuration4) SelectChannel(2);
    countingSince_ = now;
  };
  using protocol::Setting;
  switch (f.setting) {
    case Setting::kTimestamp:
      set(kTimestamp, v);
      return true;
    case Setting::kGate:
      set(kGate, v);
      return true;
    case Setting::kChannel:
      SelectChannel(static_cast<std::size_t>(v));
      return true;
    case Setting::kFrequency:
      setMode(kFrequency);
      return true;
    case Setting::kPeriod:
      setMode(kPeriod);
      return true;
    case Setting::kDuration:
      setMode(static_cast<ModeCode>(kDuration1 + v));
      return true;
    case Setting::kCount:
      setMode(static_cast<ModeCode>(kCountByDuration + v));
      return true;
    case Setting::kRatio:
      set(kMode, kRatio);
      ratioVariant_ = static_cast<std::uint8_t>(v);
      return true;
    case Setting::kTachometer:
      set(kMode, kTachometer);
      return true;
    case Setting::kDutyCycle:
      set(kMode, kDutyCycle);
      return true;
    case Setting::kMemory:
      set(kMemory, v);
      return true;
    case Setting::kTest:
      set(kTest, v);
      return true;
    case Setting::kLaunch:
      set(kLaunch, v);
      // Automatic launch runs on the internal generator; the panel shows it
      // so without sending "I2".
      if (v == 0) set(kGenerator, 0);
      return true;
    case Setting::kGenerator:
      set(kGenerator, v);
      return true;
    // The attenuator and filter bytes run against the panel's lists: 0 is
    // 1:10, and 0 is the filter on.
    case Setting::kImpedance:
      SetChannelByte(kImpedance, static_cast<std::uint8_t>(v));
      return true;
    case Setting::kCoupling:
      SetChannelByte(kCoupling, static_cast<std::uint8_t>(v));
      return true;
    case Setting::kAttenuator:
      SetChannelByte(kAttenuator, static_cast<std::uint8_t>(1 - v));
      return true;
    case Setting::kFilter:
      SetChannelByte(kFilter, static_cast<std::uint8_t>(1 - v));
      return true;
    case Setting::kSlope:
      SetChannelByte(kSlope, static_cast<std::uint8_t>(v));
      return true;
    case Setting::kLevel:
      SetChannelByte(kLevel, static_cast<std::uint8_t>(v));
      return true;
    case Setting::kCalibration:
      set(kCalibration, v);
      return true;
    case Setting::kCalibrationSave:
      savedCalibration_ = state_[kCalibration];
      return true;
    case Setting::kStart:
    case Setting::kHandshake:
    case Setting::kStateRequest:
    case Setting::kClose:
      break;
  }
  return false;
}

void Instrument::Handle(const Bytes& frame, double now) {
  ++framesSeen_;
  if (dropAfter_ && framesSeen_ >= *dropAfter_) dropNow_ = true;
  if (frame.back() != kCr) return;  // malformed: a real counter ignores it
  const int param = frame.size() == 3 ? frame[1] : kNoParam;
  const auto decoded = protocol::Decode(frame[0], param);
  if (!decoded) return;  // outside the command set: no answer

  using protocol::Setting;
  switch (decoded->setting) {
    case Setting::kHandshake:
      session_ = true;
      countingSince_ = now;
      Answer(frame, {protocol::kPresenceReply, options_.serial}, now);
      RestartMeasurement(now);
      return;
    case Setting::kClose:
      session_ = false;
      pending_.clear();
      nextResult_.reset();
      return;
    case Setting::kStateRequest: {
      Bytes reply{protocol::kStateReplyLetter};
      reply.insert(reply.end(), state_.begin(), state_.begin() + shortState_.value_or(15));
      Answer(frame, std::move(reply), now);
      return;
    }
    case Setting::kStart:
      if (session_ && state_[kLaunch] == 1) EmitResult(now + Period());
      return;
    default:
      if (!Setup(*decoded, now)) return;
      Answer(frame, {kCr}, now);
      // A new setting starts a new measurement.
      RestartMeasurement(now);
      return;
  }
}

bool Instrument::Hit(Cycle which, double* ms) {
  const auto it = cycleFaults_.find(which);
  if (it == cycleFaults_.end()) return false;
  if (ms != nullptr) *ms = it->second.ms;
  if (it->second.left && --*it->second.left == 0) cycleFaults_.erase(it);
  return true;
}

double Instrument::EmitResult(double at) {
  if (silent_) return at;
  ++resultsSent_;
  for (const auto& [fault, status] : {std::pair{Cycle::kStatusN, 'N'}, {Cycle::kStatusE, 'E'}}) {
    if (Hit(fault)) {
      Schedule(at, {static_cast<std::uint8_t>(status)});
      return at;
    }
  }
  if (!firstResultAt_) firstResultAt_ = at;
  Counts c = MeasureCounts(state_, ratioVariant_, (at - countingSince_) / 1000.0, rng_,
                           options_.signal, (at - *firstResultAt_) / 1000.0);
  if (c.wide && Hit(Cycle::kZeroN2)) c.n2 = 0;
  Bytes field = EncodeCounts(c);
  // The duty-cycle count has 31 bits; the top bit carries a flag now and then.
  if (state_[kMode] == kDutyCycle && resultsSent_ % 3 == 0) field[0] |= 0x80;
  if (Hit(Cycle::kShortCount)) field.resize(2);
  double lateStatus = 0, lateCount = 0;
  Hit(Cycle::kLateStatus, &lateStatus);
  Hit(Cycle::kLateCount, &lateCount);
  const double statusAt = at + lateStatus;
  if (lateCount > 0) {
    Schedule(statusAt, {'G'});
    Schedule(statusAt + lateCount, std::move(field));
  } else {
    field.insert(field.begin(), 'G');
    Schedule(statusAt, std::move(field));
  }
  const double end = statusAt + lateCount;
  if (Hit(Cycle::kGarbage))
    Schedule(end + Period() / 2, Bytes(std::begin(kGarbage), std::end(kGarbage)));
  return end;
}

std::optional<double> Instrument::NextDue() const {
  std::optional<double> due = nextResult_;
  if (!pending_.empty() && (!due || pending_.front().at < *due)) due = pending_.front().at;
  return due;
}

std::vector<Bytes> Instrument::TakeDue(double now) {
  while (nextResult_ && *nextResult_ <= now) {
    // A late result holds up the ones after it, as a busy counter would.
    nextResult_ = EmitResult(*nextResult_) + Period();
    if (*nextResult_ <= now) nextResult_ = now + Period();
  }
  std::vector<Bytes> due;
  while (!pending_.empty() && pending_.front().at <= now) {
    due.push_back(std::move(pending_.front().bytes));
    pending_.pop_front();
  }
  return due;
}

}  // namespace kolvane::sim
