// One connection's SCPI session: its error queue, its status registers and
// its own sample count, over the instrument that all sessions share.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/engine.h"
#include "scpi/errors.h"
#include "scpi/instrument.h"
#include "scpi/parser.h"

namespace kolvane::scpi {

// The error queue: 20 entries, first in first out; on overflow the last is
// replaced by -350.
class ErrorQueue {
 public:
  static constexpr std::size_t kCapacity = 20;
  void Push(Error e);
  std::optional<Error> Pop();
  std::size_t Size() const { return q_.size(); }
  void Clear() { q_.clear(); }
  const std::deque<Error>& Entries() const { return q_; }
  // Every error ever queued, overflowed ones included.
  std::uint64_t Pushed() const { return pushed_; }

 private:
  std::deque<Error> q_;
  std::uint64_t pushed_ = 0;
};

class ScpiSession : public Session {
 public:
  // SAMPle:COUNt's ceiling; a fuzz run takes a lower one to stay quick.
  static constexpr int kMaxSamples = 1000000;
  ScpiSession(Instrument& instrument, std::function<Identity()> identify,
              int maxSamples = kMaxSamples);
  std::optional<std::string> Execute(std::string_view line) override;
  void InputOverrun() override;
  std::vector<std::string> LastErrors() const override { return lastErrors_; }

  // A command's header, parameters and what it answers.
  struct Call {
    const Unit& unit;
    int suffix = 1;  // the numeric suffix of INPut<n>
    std::optional<std::string> reply;
  };
  using Handler = void (ScpiSession::*)(Call&);

  const ErrorQueue& Errors() const { return errors_; }

 private:
  void Run(const Unit& unit);
  void Fail(Error e);
  bool Fail(const Result& r);
  bool Need();
  bool Arity(const Call& c, std::size_t min, std::size_t max);

  // Parameters. Each queues its error and gives nothing when it fails.
  struct Numbers;
  std::optional<int> Pick(const Call& c, std::size_t i, const Numbers& n);
  std::optional<int> Word(const Call& c, std::size_t i, std::initializer_list<const char*> words,
                          int def);
  std::optional<double> Ranged(const Call& c, std::size_t i, double min, double max, double def);
  std::optional<bool> Switch(const Call& c, std::size_t i);
  std::optional<std::uint32_t> InputChannel(const Call& c);
  void Reply(Call& c, const Numbers& n, int index);
  bool Channels(const Call& c, std::size_t from, std::vector<int>& out);
  std::optional<Configuration> Target(const Call& c);
  void Acquire(Call& c);
  void Readings(Call& c);

 public:
  // The command set.
  void Idn(Call& c);
  void Rst(Call& c);
  void Cls(Call& c);
  void Ese(Call& c);
  void EseQ(Call& c);
  void EsrQ(Call& c);
  void Opc(Call& c);
  void OpcQ(Call& c);
  void Sre(Call& c);
  void SreQ(Call& c);
  void StbQ(Call& c);
  void TstQ(Call& c);
  void Wai(Call& c);
  void ErrorNext(Call& c);
  void ErrorCount(Call& c);
  void ErrorAll(Call& c);
  void Version(Call& c);
  void Configure(Call& c);
  void ConfigureQ(Call& c);
  void NoReadings(Call& c);
  void Measure(Call& c);
  void Initiate(Call& c);
  void Fetch(Call& c);
  void Read(Call& c);
  void Abort(Call& c);
  void Continuous(Call& c);
  void ContinuousQ(Call& c);
  void SampleCount(Call& c);
  void SampleCountQ(Call& c);
  void Gate(Call& c);
  void GateQ(Call& c);
  void Average(Call& c);
  void AverageQ(Call& c);
  void Timestamp(Call& c);
  void TimestampQ(Call& c);
  void Oscillator(Call& c);
  void OscillatorQ(Call& c);
  void Test(Call& c);
  void TestQ(Call& c);
  void Memory(Call& c);
  void MemoryQ(Call& c);
  void CalValue(Call& c);
  void CalValueQ(Call& c);
  void CalStore(Call& c);
  void Impedance(Call& c);
  void ImpedanceQ(Call& c);
  void Coupling(Call& c);
  void CouplingQ(Call& c);
  void Attenuation(Call& c);
  void AttenuationQ(Call& c);
  void Filter(Call& c);
  void FilterQ(Call& c);
  void Slope(Call& c);
  void SlopeQ(Call& c);
  void Level(Call& c);
  void LevelQ(Call& c);

 private:
  Instrument& inst_;
  std::function<Identity()> identify_;
  ErrorQueue errors_;
  std::vector<Node> path_;  // the current path: the last header's nodes but its leaf
  int ese_ = 0;
  int esr_ = 0;
  int sre_ = 0;
  int maxSamples_;
  int sampleCount_ = 1;
  bool initiated_ = false;
  std::vector<std::string> readings_;  // what FETCh? gives again
  std::vector<std::string> lastErrors_;
};

}  // namespace kolvane::scpi
