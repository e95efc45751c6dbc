// Where kolvane-scpi reports: notices and warnings on standard error, and
// with --log a file of one line per command and per refused or dropped
// connection. Safe from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane::server {

class EventLog {
 public:
  explicit EventLog(bool quiet) : quiet_(quiet) {}
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Opens the file for appending; false when it cannot be written.
  bool Open(const std::string& path);

  // On standard error unless --quiet.
  void Notice(const std::string& text);
  // On standard error always, and in the file (with the client's address
  // when it is about one).
  void Warning(const std::string& text, std::string_view client = "-");
  // In the file only: "<time>\t<client>\t<command>\t<reply>\t<errors>", the
  // errors the command queued joined by "; ", "-" for no reply or no error,
  // and every byte outside printable ASCII written as \xNN.
  void Command(std::string_view client, std::string_view command,
               const std::optional<std::string>& reply, const std::vector<std::string>& errors);

 private:
  void ToFile(const std::string& line);

  std::mutex mutex_;
  bool quiet_;
  std::FILE* file_ = nullptr;
};

// "\x0D" for a CR, "\\" for a backslash, other printable ASCII as it is.
std::string Escaped(std::string_view text);

}  // namespace kolvane::server
