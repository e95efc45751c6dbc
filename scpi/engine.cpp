#include "scpi/engine.h"

#include "scpi/instrument.h"
#include "scpi/session.h"
#include "version.h"

namespace kolvane::scpi {

struct Engine::Impl {
  explicit Impl(EngineDeps d) : instrument(d.ports, d.clock) {}
  Instrument instrument;
};

Engine::Engine(EngineDeps deps) : impl_(std::make_unique<Impl>(deps)) {}
Engine::~Engine() = default;

bool Engine::Connect(int first, int last, IScanObserver& observer) {
  return impl_->instrument.Connect(first, last, observer);
}

Identity Engine::Identify() const {
  Identity id{"Kolvane", "Frequency Counter", "", KOLVANE_VERSION};
  // The panel shows the serial byte as "   000<n>".
  if (const auto serial = impl_->instrument.Serial()) id.serial = "000" + std::to_string(*serial);
  return id;
}

void Engine::Close() {
  impl_->instrument.Close();
}

std::unique_ptr<Session> Engine::OpenSession() {
  return std::make_unique<ScpiSession>(impl_->instrument, [this] { return Identify(); });
}

void Engine::Tick() {
  impl_->instrument.Tick();
}

void Engine::AsUser(const std::function<void(PanelModel&, bool)>& action) {
  impl_->instrument.AsUser(action);
}

void Engine::View(const std::function<void(const PanelModel&, bool)>& view) {
  impl_->instrument.View(view);
}

Telemetry& Engine::Live() {
  return impl_->instrument.Live();
}

void Engine::WatchShown(std::function<void(const ShownReading&)> watch) {
  impl_->instrument.WatchShown(std::move(watch));
}

}  // namespace kolvane::scpi
