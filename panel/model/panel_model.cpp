#include "panel/model/panel_model.h"

#include <utility>

#include "panel/model/no_bridge.h"
#include "resources/ids.h"

namespace kolvane {

namespace {

class NoVersion : public ISystemVersion {
 public:
  std::uint32_t GetVersion() override { return 0x0A00000A; }  // NT 10.0
};

NoBridge gNoBridge;
EmptyRegistry gNoRegistry;
NoVersion gNoVersion;

// A port that takes every byte and answers none.
class DeafPorts : public ISerialPorts {
 public:
  PortHandle Open(const std::string&) override { return 1; }
  bool GetCommState(PortHandle, Dcb&) override { return true; }
  bool SetCommState(PortHandle, const Dcb&) override { return true; }
  bool GetCommTimeouts(PortHandle, CommTimeouts&) override { return true; }
  bool SetCommTimeouts(PortHandle, const CommTimeouts&) override { return true; }
  bool Write(PortHandle, const std::uint8_t*, std::uint32_t n, std::uint32_t* written) override {
    *written = n;
    return true;
  }
  bool Read(PortHandle, std::uint8_t*, std::uint32_t, std::uint32_t* got) override {
    *got = 0;
    return true;
  }
  bool Close(PortHandle) override { return true; }
  std::uint32_t LastError() override { return 0; }
};

// Time passes only as the panel waits.
class QuickClock : public IClock {
 public:
  void Sleep(std::uint32_t ms) override { now_ += ms; }
  std::uint64_t NowMs() override { return now_; }

 private:
  std::uint64_t now_ = 0;
};

}  // namespace

struct PanelModel::Seams {
  DeafPorts ports;
  QuickClock clock;
};

PanelModel::PanelModel(ISerialPorts& ports, IClock& clock)
    : clock_(clock), panel_(state_, PanelDeps{ports, clock, gNoBridge, gNoRegistry, gNoVersion}) {
  window_.Bind(panel_);
  for (int first :
       {ids::kTimestamp1, ids::kGate1, ids::kChannelA, ids::kModeFrequency, ids::kLaunchAuto}) {
    window_.AddRadioGroup(RadioGroup(first));
  }
  for (int id : {ids::kLowPassFilter, ids::kSlope, ids::kTestMeasure, ids::kMemory}) {
    window_.AddCheckBox(id);
  }
  panel_.SetOutcomeObserver(this);
}

PanelModel::PanelModel(std::unique_ptr<Seams> seams)
    : ownSeams_(std::move(seams)),
      clock_(ownSeams_->clock),
      panel_(state_,
             PanelDeps{ownSeams_->ports, ownSeams_->clock, gNoBridge, gNoRegistry, gNoVersion}) {
  window_.Bind(panel_);
  panel_.SetOutcomeObserver(this);
}

PanelModel::~PanelModel() {
  panel_.SetOutcomeObserver(nullptr);
}

void PanelModel::Open() {
  panel_.InitControls();
}

bool PanelModel::Connect(int first, int last, IScanObserver& observer) {
  panel_.SetScanObserver(&observer);
  const bool found = panel_.ScanPorts(first, last) != 0;
  panel_.SetScanObserver(nullptr);
  return found;
}

StateReply PanelModel::ReadBack(int attempts) {
  const StateReply reply =
      panel_.Session().ReadBackWith(attempts, [this] { return panel_.ReadBackConfiguration(); });
  state_.configRequested = 0;
  return reply;
}

void PanelModel::OnOutcome(const Outcome& outcome) {
  if (!outcome.Acknowledged()) outcomes_.push_back(outcome);
}

template <class Action>
std::optional<Outcome> PanelModel::Act(Action action) {
  outcomes_.clear();
  action();
  std::vector<Outcome> outcomes;
  outcomes.swap(outcomes_);
  // A refusal says more than a missing answer: the click did not count.
  for (const Outcome& o : outcomes) {
    if (o.Refused()) return o;
  }
  if (outcomes.empty()) return std::nullopt;
  return outcomes.front();
}

std::optional<Outcome> PanelModel::Click(int id) {
  return ClickMode(id, -1);
}

std::optional<Outcome> PanelModel::Select(int listId, int index) {
  return Act([&] { window_.SelectEntry(listId, index); });
}

std::optional<Outcome> PanelModel::SpinTo(int spinId, int pos) {
  return Act([&] { window_.SpinTo(spinId, pos); });
}

std::optional<Outcome> PanelModel::ClickMode(int id, int variant) {
  return ClickAnswering(id, [this, variant](MemoryWindow& w, CDialog&) {
    // What the dialog refused as it opened is its own to show; the user's
    // choice, if it differs, is the click's.
    if (variant < 0 || w.ListGetCurSel(ids::kDialogList) != variant) {
      std::erase_if(outcomes_, [](const Outcome& o) { return o.Refused(); });
    }
    if (variant >= 0 && w.ListGetCurSel(ids::kDialogList) != variant) {
      w.SelectEntry(ids::kDialogList, variant);
    }
  });
}

std::optional<Outcome> PanelModel::ClickAnswering(int id, MemoryWindow::ModalAnswer answer) {
  window_.AnswerModals(std::move(answer));
  auto outcome = Act([&] { window_.Click(id); });
  window_.AnswerModals(nullptr);
  return outcome;
}

std::optional<StateReply> PanelModel::RunPendingReadBack() {
  if (state_.configRequested == 0) return std::nullopt;
  const auto timer = window_.Timers().find(state_.timerId);
  clock_.Sleep(timer != window_.Timers().end() ? timer->second : protocol::kPollMs);
  return ReadBack(1);
}

std::unique_ptr<PanelModel> PanelModel::Rehearse() const {
  std::unique_ptr<PanelModel> copy(new PanelModel(std::make_unique<Seams>()));
  copy->window_.CopyFrom(window_);
  copy->state_ = state_;
  const CPanelDlg& p = panel_;
  CPanelDlg& c = copy->panel_;
  c.timestampRadio = p.timestampRadio;
  c.gateRadio = p.gateRadio;
  c.channelRadio = p.channelRadio;
  c.modeRadio = p.modeRadio;
  c.launchRadio = p.launchRadio;
  c.filterCheck = p.filterCheck;
  c.slopeCheck = p.slopeCheck;
  return copy;
}

}  // namespace kolvane
