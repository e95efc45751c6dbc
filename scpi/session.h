// One connection's SCPI session: its error queue, its status registers and
// its own sample count, over the instrument that all sessions share.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/command.h"
#include "scpi/command_tree.h"
#include "scpi/engine.h"
#include "scpi/errors.h"
#include "scpi/parser.h"

namespace kolvane::scpi {

// The command set every session answers: the common commands, then the
// counter's measurement and settings.
const CommandTree& CommandSet();

class ScpiSession : public Session {
 public:
  // SAMPle:COUNt's ceiling; a fuzz run takes a lower one to stay quick.
  static constexpr int kMaxSamples = 1000000;
  ScpiSession(Instrument& instrument, std::function<Identity()> identify,
              int maxSamples = kMaxSamples);
  std::optional<std::string> Execute(std::string_view line) override;
  void InputOverrun() override;
  std::vector<std::string> LastErrors() const override { return ctx_.lastErrors; }
  void WatchCancel(const std::atomic<bool>* flag) override { ctx_.cancel = flag; }

  const ErrorQueue& Errors() const { return ctx_.errors; }

 private:
  Context ctx_;
  std::vector<Node> path_;  // the current path: the last header's nodes but its leaf
};

}  // namespace kolvane::scpi
