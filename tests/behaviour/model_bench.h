// The panel model over the simulated instrument, found and read back, with
// the frames it sends from then on.
#pragma once

#include <string>
#include <vector>

#include "panel/model/panel_model.h"
#include "tests/behaviour/scpi_fixture.h"

namespace kolvane::test {

struct ModelBench {
  ModelBench() : sim(ScpiBench::Options(std::nullopt)) {
    AnswerAsInstrument(ports, clock, sim);
    model.Open();
    IScanObserver quiet;
    found = model.Connect(1, 1, quiet);
    model.ReadBack(3);
    mark = ports.writes.size();
  }
  // The frames sent since the last call.
  std::vector<std::string> Frames() {
    std::vector<std::string> out;
    for (std::size_t i = mark; i < ports.writes.size(); ++i) out.push_back(ports.writes[i].Text());
    mark = ports.writes.size();
    return out;
  }

  VirtualClock clock;
  ScriptedPorts ports{clock};
  sim::Instrument sim;
  PanelModel model{ports, clock};
  bool found = false;
  std::size_t mark = 0;
};

}  // namespace kolvane::test
