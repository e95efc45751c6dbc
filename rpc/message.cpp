#include "rpc/message.h"

namespace kolvane::rpc {

namespace {

constexpr std::uint32_t kCall = 0;
constexpr std::uint32_t kReply = 1;
constexpr std::uint32_t kAccepted = 0;
constexpr std::uint32_t kRpcVersion = 2;
constexpr std::uint32_t kLastFragment = 0x80000000u;

std::size_t Padded(std::size_t n) {
  return (n + 3) & ~std::size_t{3};
}

std::uint32_t BigEndian(std::string_view b) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[3]));
}

}  // namespace

bool XdrReader::Need(std::size_t n) {
  if (!ok_ || bytes_.size() - pos_ < n) ok_ = false;
  return ok_;
}

std::uint32_t XdrReader::U32() {
  if (!Need(4)) return 0;
  const std::uint32_t v = BigEndian(bytes_.substr(pos_, 4));
  pos_ += 4;
  return v;
}

bool XdrReader::Bool() {
  const std::uint32_t v = U32();
  if (v > 1) ok_ = false;
  return ok_ && v == 1;
}

std::string XdrReader::Opaque(std::size_t max) {
  const std::uint32_t n = U32();
  if (!ok_ || n > max || !Need(Padded(n))) {
    ok_ = false;
    return {};
  }
  std::string out(bytes_.substr(pos_, n));
  pos_ += Padded(n);
  return out;
}

XdrWriter& XdrWriter::U32(std::uint32_t v) {
  out_.push_back(static_cast<char>(v >> 24));
  out_.push_back(static_cast<char>(v >> 16));
  out_.push_back(static_cast<char>(v >> 8));
  out_.push_back(static_cast<char>(v));
  return *this;
}

XdrWriter& XdrWriter::Opaque(std::string_view bytes) {
  U32(static_cast<std::uint32_t>(bytes.size()));
  out_.append(bytes);
  out_.append(Padded(bytes.size()) - bytes.size(), '\0');
  return *this;
}

RecordReader::Status RecordReader::Feed(std::string_view bytes, std::string* record) {
  pending_.append(bytes);
  for (;;) {
    if (pending_.size() < 4) return Status::kMore;
    const std::uint32_t header = BigEndian(pending_);
    const std::size_t length = header & ~kLastFragment;
    if (record_.size() + length > kMaxRecord) return Status::kTooLong;
    if (pending_.size() - 4 < length) return Status::kMore;
    record_.append(pending_, 4, length);
    pending_.erase(0, 4 + length);
    if (header & kLastFragment) {
      *record = std::move(record_);
      record_.clear();
      return Status::kRecord;
    }
  }
}

std::string Frame(std::string_view record) {
  XdrWriter w;
  w.U32(kLastFragment | static_cast<std::uint32_t>(record.size()));
  std::string out = w.Take();
  out.append(record);
  return out;
}

std::optional<Call> ParseCall(std::string_view record) {
  XdrReader r(record);
  Call c;
  c.xid = r.U32();
  if (r.U32() != kCall || r.U32() != kRpcVersion) return std::nullopt;
  c.program = r.U32();
  c.version = r.U32();
  c.procedure = r.U32();
  for (int i = 0; i < 2; ++i) {  // the credential and the verifier
    r.U32();
    r.Opaque(kMaxAuth);
  }
  if (!r.ok()) return std::nullopt;
  c.args = r.Rest();
  return c;
}

std::string Reply(std::uint32_t xid, AcceptStat stat, std::string_view results) {
  XdrWriter w;
  w.U32(xid).U32(kReply).U32(kAccepted).U32(kAuthNone).U32(0).U32(static_cast<std::uint32_t>(stat));
  std::string out = w.Take();
  if (stat == AcceptStat::kSuccess) out.append(results);
  return out;
}

std::string MismatchReply(std::uint32_t xid, std::uint32_t low, std::uint32_t high) {
  XdrWriter w;
  w.U32(xid).U32(kReply).U32(kAccepted).U32(kAuthNone).U32(0);
  w.U32(static_cast<std::uint32_t>(AcceptStat::kProgMismatch)).U32(low).U32(high);
  return w.Take();
}

std::optional<ParsedReply> ParseReply(std::string_view record) {
  XdrReader r(record);
  ParsedReply p;
  p.xid = r.U32();
  if (r.U32() != kReply || r.U32() != kAccepted) return std::nullopt;
  r.U32();
  r.Opaque(kMaxAuth);
  const std::uint32_t stat = r.U32();
  if (!r.ok() || stat > 4) return std::nullopt;
  p.stat = static_cast<AcceptStat>(stat);
  p.results = r.Rest();
  return p;
}

std::string CallMessage(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                        std::uint32_t procedure, std::string_view args) {
  XdrWriter w;
  w.U32(xid).U32(kCall).U32(kRpcVersion).U32(program).U32(version).U32(procedure);
  w.U32(kAuthNone).U32(0).U32(kAuthNone).U32(0);
  std::string out = w.Take();
  out.append(args);
  return out;
}

}  // namespace kolvane::rpc
