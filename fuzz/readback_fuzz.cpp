// The configuration readback: any reply to "D1" CR, with results that were
// already on the line, over a run of ticks and Config presses.
#include "fuzz/rig.h"
#include "resources/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  fuzz::Tape tape(data, size);
  fuzz::Rig rig(tape);
  rig.ports.AddPort("COM1:");
  rig.AnswerFromTape(5);
  if (!rig.Start()) fuzz::Fail("the instrument on COM1 is found", "");
  // The first tick reads the configuration back; Config asks for another.
  for (int i = 0; i < 16 && !tape.Empty(); ++i) {
    const std::uint8_t op = tape.Byte();
    if ((op & 1) != 0) rig.QueueChunk();
    if ((op & 2) != 0) rig.window.Click(ids::kConfigButton);
    rig.Tick();
  }
  rig.Close();
  return 0;
}
