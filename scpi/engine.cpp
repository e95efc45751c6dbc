#include "scpi/engine.h"

#include "counter/counter.h"
#include "version.h"

namespace kolvane::scpi {

// The instrument shared by every session.
struct Engine::Impl {
  explicit Impl(EngineDeps d)
      : deps(d), link(d.ports, d.clock, state), counter(link, d.clock, state) {
    counter.AssumeStartValues();
  }

  EngineDeps deps;
  CounterState state;
  InstrumentLink link;
  Counter counter;
  std::optional<std::uint8_t> serial;
};

namespace {

// Keeps the serial byte the handshake brought, and passes every report on.
class SerialCatcher : public IScanObserver {
 public:
  SerialCatcher(IScanObserver& next, std::optional<std::uint8_t>& serial)
      : next_(next), serial_(serial) {}
  void OnScanStart() override { next_.OnScanStart(); }
  void OnOpenFailed(int n, const std::string& name, std::uint32_t error) override {
    next_.OnOpenFailed(n, name, error);
  }
  void OnStateFailed(int n, std::uint32_t error) override { next_.OnStateFailed(n, error); }
  void OnTimeoutsFailed(int n) override { next_.OnTimeoutsFailed(n); }
  void OnNoAnswer(int n) override { next_.OnNoAnswer(n); }
  void OnFound(int n, std::optional<std::uint8_t> serial) override {
    serial_ = serial;
    next_.OnFound(n, serial);
  }

 private:
  IScanObserver& next_;
  std::optional<std::uint8_t>& serial_;
};

class StubSession : public Session {
 public:
  explicit StubSession(Engine& engine) : engine_(engine) {}
  std::optional<std::string> Execute(std::string_view line) override {
    if (line == "*IDN?") {
      const Identity id = engine_.Identify();
      return id.manufacturer + "," + id.model + "," + id.serial + "," + id.version;
    }
    return std::nullopt;
  }
  void InputOverrun() override {}

 private:
  Engine& engine_;
};

}  // namespace

Engine::Engine(EngineDeps deps) : impl_(std::make_unique<Impl>(deps)) {}
Engine::~Engine() = default;

bool Engine::Connect(int first, int last, IScanObserver& observer) {
  SerialCatcher catcher(observer, impl_->serial);
  if (impl_->link.Scan(catcher, first, last) == 0) return false;
  for (int attempt = 0; attempt < 3 && !impl_->link.Lost(); ++attempt) {
    impl_->link.DropUnreadInput();
    if (impl_->counter.ReadBack() == StateReply::Ok) break;
  }
  return true;
}

Identity Engine::Identify() const {
  Identity id{"Kolvane", "Frequency counter", "", KOLVANE_VERSION};
  if (impl_->serial) id.serial = "000" + std::to_string(*impl_->serial);
  return id;
}

void Engine::Close() {
  impl_->link.Close();
}

std::unique_ptr<Session> Engine::OpenSession() {
  return std::make_unique<StubSession>(*this);
}

}  // namespace kolvane::scpi
