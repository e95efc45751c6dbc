#include "app/scpi/line_splitter.h"

namespace kolvane::server {

void LineSplitter::Feed(std::string_view bytes, std::vector<Item>* out) {
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, lf);
    if (!dropping_) {
      partial_.append(piece);
      // One byte more than the limit may still be the CR of a CR LF.
      if (partial_.size() > kMaxLine + 1 ||
          (lf != std::string_view::npos && partial_.size() > kMaxLine && partial_.back() != '\r')) {
        out->push_back({Item::kOverrun, {}});
        partial_.clear();
        partial_.shrink_to_fit();
        dropping_ = true;
      }
    }
    if (lf == std::string_view::npos) return;
    if (!dropping_) {
      if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
      out->push_back({Item::kLine, std::move(partial_)});
      partial_.clear();
    }
    dropping_ = false;
    bytes.remove_prefix(lf + 1);
  }
}

}  // namespace kolvane::server
