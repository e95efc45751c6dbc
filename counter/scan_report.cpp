#include "counter/scan_report.h"

namespace kolvane {

namespace {

std::string Port(int n) {
  return "COM" + std::to_string(n) + ": ";
}

}  // namespace

void ScanReport::OnOpenFailed(int n, const std::string& name, std::uint32_t error) {
  std::string why = describe_ ? describe_(name, error) : "";
  // A description of its own names the device and the port already.
  lines_[n] = why.empty() ? Port(n) + "missing" : why;
}

void ScanReport::OnStateFailed(int n, std::uint32_t error) {
  lines_[n] = Port(n) + "cannot be configured (error " + std::to_string(error) + ")";
}

void ScanReport::OnTimeoutsFailed(int n) {
  lines_[n] = Port(n) + "cannot take the link's time-outs";
}

void ScanReport::OnNoAnswer(int n) {
  lines_[n] = Port(n) + "no answer to the handshake";
}

void ScanReport::Print(std::ostream& out, std::string_view program) const {
  out << program << ": no instrument found; ports tried:\n";
  for (const auto& [n, line] : lines_) out << "  " << line << "\n";
}

}  // namespace kolvane
