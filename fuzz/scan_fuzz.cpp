// The port scan and presence handshake: COM1 to COM9 each absent, failing
// its configuration, or answering with whatever the input holds.
#include "fuzz/rig.h"
#include "resources/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  fuzz::Tape tape(data, size);
  fuzz::Rig rig(tape);
  // One byte per port: 1 exists, 2 its state fails, 4 its time-outs fail.
  for (int n = 1; n <= 9; ++n) {
    const std::uint8_t kind = tape.Byte();
    if ((kind & 1) == 0) continue;
    test::PortSpec setup;
    setup.setStateFails = (kind & 2) != 0;
    setup.setTimeoutsFails = (kind & 4) != 0;
    rig.ports.AddPort(Format("COM%d:", n), setup);
  }
  rig.AnswerFromTape();
  rig.Start();
  rig.Close();
  return 0;
}
