#include "record/recorder.h"

#include <chrono>
#include <utility>

namespace kolvane::record {

Instant SystemNow() {
  using namespace std::chrono;
  const auto wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  const auto mono = duration_cast<duration<double>>(steady_clock::now().time_since_epoch());
  return {static_cast<std::int64_t>(wall.count()), mono.count()};
}

Recorder::Recorder(std::ostream* csv, Statistics* stats, std::function<Instant()> now)
    : stats_(stats), now_(std::move(now)) {
  if (csv != nullptr) {
    csv_.emplace(*csv);
    failed_ = !csv_->WriteHeader();
  }
}

void Recorder::OnShown(const ShownReading& shown) {
  const Instant t = now_();
  if (!firstS_) firstS_ = t.monotonicS;
  const double elapsed = t.monotonicS - *firstS_;
  if (csv_ && !failed_) failed_ = !csv_->WriteRow(shown, t.wallMs, elapsed);
  if (stats_ != nullptr) stats_->Add(shown, elapsed);
  if (grid_ != nullptr) grid_->Add(shown, elapsed);
  last_ = shown;
  ++rows_;
}

double Recorder::ElapsedS() const {
  return firstS_ ? now_().monotonicS - *firstS_ : 0.0;
}

}  // namespace kolvane::record
