// Every port a scan tried, with what it found there: what a command-line
// front end prints when no instrument answered.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "link/instrument_link.h"

namespace kolvane {

class ScanReport : public IScanObserver {
 public:
  // Why COMn could not be opened; empty when it does not exist.
  using DescribeOpenFailure = std::function<std::string(const std::string& name, std::uint32_t)>;

  explicit ScanReport(DescribeOpenFailure describe) : describe_(std::move(describe)) {}

  void OnOpenFailed(int n, const std::string& name, std::uint32_t error) override;
  void OnStateFailed(int n, std::uint32_t error) override;
  void OnTimeoutsFailed(int n) override;
  void OnNoAnswer(int n) override;

  // "<program>: no instrument found; ports tried:" and a line per port.
  void Print(std::ostream& out, std::string_view program) const;

 private:
  DescribeOpenFailure describe_;
  std::map<int, std::string> lines_;
};

}  // namespace kolvane
