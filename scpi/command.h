// A row of the command table, what its handlers work on, and the tables by
// job. A discrete setting is one row: its values, its query and its setter.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scpi/engine.h"
#include "scpi/errors.h"
#include "scpi/instrument.h"
#include "scpi/parser.h"

namespace kolvane::scpi {

// One session's state: its registers, error queue and readings, over the
// instrument that all sessions share.
struct Context {
  Instrument& inst;
  std::function<Identity()> identify;
  int maxSamples;  // SAMPle:COUNt's ceiling
  ErrorQueue errors{};
  std::vector<std::string> lastErrors{};  // those of the line in hand, for a log
  int ese = 0;
  int esr = 0;
  int sre = 0;
  int sampleCount = 1;
  bool initiated = false;
  std::vector<std::string> readings{};        // what FETCh? gives again
  const std::atomic<bool>* cancel = nullptr;  // Session::WatchCancel's flag

  bool Cancelled() const { return cancel != nullptr && cancel->load(); }

  // Queues the error and sets its class's event status bit.
  void Fail(Error e);
  // Queues r's error, if any; true when there was one.
  bool Fail(const Result& r);
  // Whether the instrument can take a command; its error queued if not.
  bool Need();
};

struct Command;

// A command's header, parameters and what it answers.
struct Call {
  Context& ctx;
  const Command& command;
  const Unit& unit;
  int suffix = 1;  // the numeric suffix of INPut<n>
  std::optional<std::string> reply;
};

using Handler = void (*)(Call&);

// The unit a number's suffix may give.
enum class Dimension { kNone, kTime, kOhm };

// A discrete setting's values: numbers in ascending order with the reply of
// each, words (the reply is the short form), or OFF and ON.
struct Values {
  enum class Kind { kNumbers, kWords, kSwitch };
  Kind kind = Kind::kSwitch;
  std::span<const double> numbers;
  std::span<const char* const> names;  // the numbers' replies, or the words
  int def = 0;                         // the *RST value's index
  Dimension unit = Dimension::kNone;
};

// A switch: OFF and ON, read back as 0 and 1.
inline constexpr const char* kOffOnReplies[] = {"0", "1"};
inline constexpr Values kOffOn{Values::Kind::kSwitch, {}, kOffOnReplies};

// channel: protocol::kChannelA or kChannelC for an input's setting.
using Getter = int (*)(const Instrument& inst, std::uint32_t channel);
using Setter = Result (*)(Instrument& inst, std::uint32_t channel, int index);

struct Setting {
  enum class Of { kCounter, kInput };  // kInput: INPut<n> names channel A or C
  Of of = Of::kCounter;
  Values values;
  Getter get = nullptr;  // the index of the value in force
  Setter set = nullptr;
};

// The generic handlers of a setting's row.
void ApplySetting(Call& c);
void QuerySetting(Call& c);

// Upper-case letters are the short form; [..] marks an optional node, #
// a numeric suffix.
struct Command {
  constexpr Command(const char* p, Handler s, Handler q) : pattern(p), set(s), query(q) {}
  constexpr Command(const char* p, Setting s)
      : pattern(p), set(&ApplySetting), query(&QuerySetting), setting(s) {}
  const char* pattern;
  Handler set = nullptr;
  Handler query = nullptr;
  Setting setting;
};

// The tables, looked up in this order.
std::span<const Command> CommonCommands();       // IEEE 488.2 and SYSTem
std::span<const Command> MeasurementCommands();  // CONFigure, MEASure, READ?...
std::span<const Command> SettingCommands();      // the counter's settings

}  // namespace kolvane::scpi
