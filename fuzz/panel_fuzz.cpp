// The whole panel: one input is both what the instrument sends and what the
// user does, entry by entry of the message map, between timer ticks.
#include "fuzz/rig.h"
#include "resources/format.h"
#include "resources/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  using namespace kolvane::fuzz;
  Tape tape(data, size);
  Rig rig(tape);
  rig.ports.AddPort(Format("COM%d:", 1 + tape.Byte() % 9));
  rig.AnswerFromTape();
  rig.Start();

  // Inside a mode dialog the user picks up to three entries of its list.
  std::size_t scripted = 0;
  int picks = 0;
  const auto script = [&](test::FakeWindow& w, CDialog&) {
    for (int n = tape.Byte() % 4; n > 0; --n) {
      const std::size_t entries = w.Get(ids::kDialogList).entries.size();
      if (entries == 0) break;
      w.SelectEntry(ids::kDialogList, static_cast<int>(tape.Byte() % entries));
      ++picks;
    }
  };

  const auto map = PanelMessageMap();
  for (int step = 0; step < 64 && !tape.Empty(); ++step) {
    const std::uint8_t op = tape.Byte();
    if ((op & 0x80) != 0) rig.QueueChunk();  // results the instrument sends meanwhile
    const std::size_t pick = (op & 0x7F) % (map.size() + 1);
    if (pick == map.size()) {
      rig.Wait(tape.Byte() * 4u);
      continue;
    }
    const auto& entry = map[pick];
    if (entry.message == WM_TIMER) {
      rig.Tick();
      continue;
    }
    while (scripted < rig.window.modalTemplates.size() + 2) {
      rig.window.QueueModal(script);
      ++scripted;
    }
    const std::size_t modals0 = rig.window.modalTemplates.size();
    picks = 0;
    std::uint64_t limit = 0;
    const std::uint64_t start = rig.clock.now;
    if (entry.message == WM_COMMAND) {
      // A disabled control takes no click, and a list only its own entries.
      if (!rig.window.IsControlEnabled(entry.id)) continue;
      limit = bound::Action(entry.id);
      if (entry.code == BN_CLICKED) {
        rig.window.Click(entry.id);
      } else {
        const std::size_t entries = rig.window.Get(entry.id).entries.size();
        if (entries == 0) continue;
        rig.window.SelectEntry(entry.id, static_cast<int>(tape.Byte() % entries));
      }
    } else if (entry.message == WM_VSCROLL) {
      const std::uint8_t how = tape.Byte();
      const int steps = 1 + (how >> 2) % 16;
      for (int i = 0; i < steps; ++i) {
        rig.window.SpinClick((how & 1) != 0 ? ids::kLevelSpin : ids::kCalibrationSpin,
                             (how & 2) != 0);
      }
      limit = static_cast<std::uint64_t>(steps) * bound::kSpinStep;
    } else if (entry.message == WM_SYSCOMMAND) {
      rig.window.Send({WM_SYSCOMMAND, ids::kAboutCommand, 0, 0});
    } else {
      rig.window.Send({entry.message, 0, 0, 0});  // the private messages
    }
    const std::size_t modals = rig.window.modalTemplates.size() - modals0;
    limit += modals == 0 ? 0 : bound::Dialog(static_cast<int>(modals) - 1 + picks);
    const std::uint64_t took = rig.clock.now - start;
    if (took > limit) {
      Fail("handler within its worst case", "message " + std::to_string(entry.message) + " id " +
                                                std::to_string(entry.id) + ": " +
                                                std::to_string(took) + " ms");
    }
    rig.CheckState();
  }
  rig.Close();
  return 0;
}
