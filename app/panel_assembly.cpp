#include "app/panel_assembly.h"

#include <utility>

#include "panel/recording_entry.h"

namespace kolvane {

PanelAssembly::PanelAssembly(Options options, SystemServices services)
    : services_(std::move(services)),
      recording_(options.recordingEntry ? std::make_unique<record::PanelRecording>() : nullptr),
      panel_(state_, PanelDeps{*services_.ports, *services_.clock, *services_.bridge,
                               *services_.registry, *services_.version}) {
  if (recording_) panel_.SetRecording(recording_.get());
  if (options.readingSink != nullptr) panel_.SetReadingSink(options.readingSink);
  if (options.scanObserver != nullptr) panel_.SetScanObserver(options.scanObserver);
}

PanelAssembly::~PanelAssembly() = default;

}  // namespace kolvane
