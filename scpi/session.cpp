#include "scpi/session.h"

namespace kolvane::scpi {

const CommandTree& CommandSet() {
  static const CommandTree tree{CommonCommands(), MeasurementCommands(), SettingCommands()};
  return tree;
}

void Context::Fail(Error e) {
  // The event status bit of the error's class.
  const int c = e.code;
  if (c <= -100 && c > -200) esr |= 0x20;             // command error
  if (c <= -200 && c > -300) esr |= 0x10;             // execution error
  if ((c <= -300 && c > -400) || c > 0) esr |= 0x08;  // device-dependent error
  if (c <= -400 && c > -500) esr |= 0x04;             // query error
  lastErrors.push_back(FormatError(e));
  inst.Live().ErrorQueued(e.code);
  errors.Push(std::move(e));
}

bool Context::Fail(const Result& r) {
  if (r) Fail(*r);
  return r.has_value();
}

bool Context::Need() {
  return !Fail(inst.Ready());
}

ScpiSession::ScpiSession(Instrument& instrument, std::function<Identity()> identify, int maxSamples)
    : ctx_{instrument, std::move(identify), maxSamples} {}

void ScpiSession::InputOverrun() {
  ctx_.Fail({err::kInputOverrun, "the line passed 64 KiB"});
}

std::optional<std::string> ScpiSession::Execute(std::string_view line) {
  line = WithoutCr(line);
  ctx_.lastErrors.clear();
  std::optional<std::string> reply;
  for (std::string_view text : SplitUnits(line)) {
    if (ctx_.Cancelled()) return std::nullopt;
    if (IsBlank(text)) continue;
    Error e;
    const std::optional<Unit> unit = ParseUnit(text, e);
    if (!unit) {
      ctx_.Fail(std::move(e));
      continue;
    }
    const bool query = unit->header.query;
    const auto found = CommandSet().Resolve(unit->header, path_);
    if (!found) {
      ctx_.Fail({err::kUndefinedHeader, {}});
      continue;
    }
    if (found->badSuffix) {
      ctx_.Fail({err::kHeaderSuffix, {}});
      continue;
    }
    Call call{ctx_, *found->command, *unit, found->suffix, std::nullopt};
    (query ? found->command->query : found->command->set)(call);
    if (query && call.reply) {
      if (reply) {
        *reply += ';';
        *reply += *call.reply;
      } else {
        reply = std::move(call.reply);
      }
    }
  }
  ctx_.inst.NoteLink();
  return ctx_.Cancelled() ? std::nullopt : reply;
}

}  // namespace kolvane::scpi
