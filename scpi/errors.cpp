#include "scpi/errors.h"

#include <array>
#include <utility>

namespace kolvane::scpi {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 22> kTexts{{
    {0, "No error"},
    {err::kInvalidCharacter, "Invalid character"},
    {err::kSyntax, "Syntax error"},
    {err::kDataType, "Data type error"},
    {err::kParameterNotAllowed, "Parameter not allowed"},
    {err::kMissingParameter, "Missing parameter"},
    {err::kUndefinedHeader, "Undefined header"},
    {err::kHeaderSuffix, "Header suffix out of range"},
    {err::kInvalidSuffix, "Invalid suffix"},
    {err::kInvalidCharacterData, "Invalid character data"},
    {err::kSettingsConflict, "Settings conflict"},
    {err::kOutOfRange, "Data out of range"},
    {err::kIllegalValue, "Illegal parameter value"},
    {err::kStale, "Data corrupt or stale"},
    {err::kHardware, "Hardware error"},
    {err::kQueueOverflow, "Queue overflow"},
    {err::kInputOverrun, "Input buffer overrun"},
    {err::kQueryInterrupted, "Query INTERRUPTED"},
    {err::kQueryUnterminated, "Query UNTERMINATED"},
    {err::kNotAcknowledged, "Setting not acknowledged"},
    {err::kNotReadBack, "Configuration not read back"},
    {err::kNoResult, "No result within the gate"},
}};

}  // namespace

std::string_view ErrorText(int code) {
  for (const auto& [c, text] : kTexts) {
    if (c == code) return text;
  }
  return {};
}

std::string FormatError(const Error& e) {
  std::string text(ErrorText(e.code));
  if (!e.detail.empty()) {
    text += ';';
    // A string reply doubles its quotes; plain ones read better in a detail.
    for (char c : e.detail) text += c == '"' ? '\'' : c;
  }
  return std::to_string(e.code) + ",\"" + text + "\"";
}

void ErrorQueue::Push(Error e) {
  ++pushed_;
  if (q_.size() < kCapacity) {
    q_.push_back(std::move(e));
  } else {
    q_.back() = {err::kQueueOverflow, {}};
  }
}

std::optional<Error> ErrorQueue::Pop() {
  if (q_.empty()) return std::nullopt;
  Error e = std::move(q_.front());
  q_.pop_front();
  return e;
}

}  // namespace kolvane::scpi
