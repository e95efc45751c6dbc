// An SCPI session over the engine, with the simulator's instrument model
// behind a scripted COM1: it answers every frame as the instrument does and
// keeps the state that "D1" reads back. Results in automatic launch are
// queued by the test; a single-shot start is answered by the model.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scpi/engine.h"
#include "sim/instrument.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {

// COM1 answers every frame as the simulator's instrument model does.
inline void AnswerAsInstrument(ScriptedPorts& ports, VirtualClock& clock, sim::Instrument& model) {
  ports.AddPort("COM1:");
  ports.OnWrite([&clock, &model](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
    const auto now = static_cast<double>(clock.now);
    model.Receive(f, now);
    // Everything the model has to say within the next few seconds.
    while (const auto due = model.NextDue()) {
      if (*due > now + 5000) break;
      for (const auto& chunk : model.TakeDue(*due)) {
        p.Reply(chunk, static_cast<std::uint64_t>(*due - now));
      }
    }
  });
}

struct ScpiBench {
  explicit ScpiBench(std::optional<sim::PanelBytes> start = std::nullopt,
                     std::vector<std::string> faults = {})
      : model(Options(start)) {
    for (const auto& f : faults) {
      std::string why;
      model.ApplyWord(f, &why);
    }
    AnswerAsInstrument(ports, clock, model);
    connected = engine.Connect(1, 1, observer);
    session = engine.OpenSession();
  }

  static sim::InstrumentOptions Options(std::optional<sim::PanelBytes> start) {
    sim::InstrumentOptions o;
    o.rate = 0;  // no results of its own in automatic launch
    if (start) o.state = *start;
    return o;
  }

  // The reply to one line; the frames it wrote are in Frames().
  std::optional<std::string> Run(const std::string& line) {
    mark = ports.writes.size();
    return session->Execute(line);
  }
  // Frames written by the last Run, without their CR.
  std::vector<std::string> Frames() const {
    std::vector<std::string> out;
    for (std::size_t i = mark; i < ports.writes.size(); ++i) {
      std::string t = ports.writes[i].Text();
      if (!t.empty() && t.back() == '\r') t.pop_back();
      out.push_back(t);
    }
    return out;
  }
  // Every queued error code, oldest first.
  std::vector<int> Errors() {
    std::vector<int> codes;
    for (int i = 0; i < 30; ++i) {
      const auto r = session->Execute("SYST:ERR?");
      const int code = r ? std::stoi(*r) : 0;
      if (code == 0) break;
      codes.push_back(code);
    }
    return codes;
  }
  // A result arriving after delayMs: one count field, or two with n2.
  void Result(std::uint32_t n1, std::optional<std::uint32_t> n2 = std::nullopt,
              std::uint64_t delayMs = 5) {
    std::vector<std::uint8_t> r{'G'};
    for (std::uint32_t n : {n1, n2.value_or(0)}) {
      for (int shift = 24; shift >= 0; shift -= 8)
        r.push_back(static_cast<std::uint8_t>(n >> shift));
      if (!n2) break;
    }
    ports.Reply(r, delayMs);
  }

  VirtualClock clock;
  ScriptedPorts ports{clock};
  sim::Instrument model;
  IScanObserver observer;
  scpi::Engine engine{{ports, clock}};
  bool connected = false;
  std::unique_ptr<scpi::Session> session;
  std::size_t mark = 0;
};

}  // namespace kolvane::test
