// The page's messages to the server: each line of the input is one
// WebSocket message, parsed and, when it is one, run on a panel model with
// no instrument behind it; the state and replies must stay JSON objects.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/expect.h"
#include "panel/model/panel_model.h"
#include "panel/web/live.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace {

using kolvane::fuzz::Expect;
using kolvane::fuzz::JsonObject;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  test::VirtualClock clock;
  test::ScriptedPorts ports{clock};
  PanelModel model{ports, clock};
  model.Open();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (int n = 0; n < 32 && !input.empty(); ++n) {
    const std::size_t end = input.find('\n');
    const std::string_view message = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    const auto command = web_panel::ParseCommand(message);
    if (!command) continue;
    for (const std::string& reply :
         web_panel::Run(model, *command, (n & 1) != 0 && size % 7 == 0)) {
      Expect(JsonObject(reply), "a reply that is not a JSON object");
    }
    Expect(JsonObject(web_panel::StateMessage(model, true, false)), "a state that is not JSON");
  }
  return 0;
}
