#include "counter/instrument_session.h"

namespace kolvane {

void InstrumentSession::Drain() {
  constexpr int kRounds = 64;
  for (int i = 0; i < kRounds && link_.DropUnreadInput() != 0; ++i) {
  }
}

}  // namespace kolvane
