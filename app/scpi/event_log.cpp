#include "app/scpi/event_log.h"

#include <chrono>

#include "record/csv.h"

namespace kolvane::server {

namespace {

std::string Now() {
  using namespace std::chrono;
  return record::FormatUtcMs(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

EventLog::~EventLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool EventLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "ab");
  return file_ != nullptr;
}

void EventLog::Notice(const std::string& text) {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "kolvane-scpi: %s\n", text.c_str());
}

void EventLog::Warning(const std::string& text, std::string_view client) {
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "kolvane-scpi: %s\n", text.c_str());
  ToFile(Now() + "\t" + std::string(client) + "\t-\t-\t" + Escaped(text));
}

void EventLog::Command(std::string_view client, std::string_view command,
                       const std::optional<std::string>& reply,
                       const std::vector<std::string>& errors) {
  if (file_ == nullptr) return;
  std::string line = Now();
  line += '\t';
  line += client;
  line += '\t';
  line += Escaped(command);
  line += '\t';
  line += reply ? Escaped(*reply) : "-";
  line += '\t';
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (i > 0) line += "; ";
    line += Escaped(errors[i]);
  }
  if (errors.empty()) line += '-';
  std::lock_guard lock(mutex_);
  ToFile(line);
}

void EventLog::ToFile(const std::string& line) {
  if (file_ == nullptr) return;
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace kolvane::server
