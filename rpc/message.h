// ONC RPC (RFC 5531) as VXI-11 and the portmapper use it over TCP and UDP:
// XDR (RFC 4506) numbers and byte strings, record marking, and the call and
// reply messages. Plain C++ with no network library, so that it can be
// tested and fuzzed alone; the sockets are in app/scpi/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane::rpc {

// A record's bytes (without its fragment headers) may not pass this; a
// longer one closes the connection.
inline constexpr std::size_t kMaxRecord = 64 * 1024;

// Reads XDR items from a byte string; after a failed read ok() is false and
// every later read fails too.
class XdrReader {
 public:
  explicit XdrReader(std::string_view bytes) : bytes_(bytes) {}
  std::uint32_t U32();
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  bool Bool();
  // A variable-length opaque or string of at most max bytes, with its padding.
  std::string Opaque(std::size_t max);
  bool ok() const { return ok_; }
  // Whole, and nothing left over.
  bool Done() const { return ok_ && pos_ == bytes_.size(); }
  std::string_view Rest() const { return bytes_.substr(pos_); }

 private:
  bool Need(std::size_t n);
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

class XdrWriter {
 public:
  XdrWriter& U32(std::uint32_t v);
  XdrWriter& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
  XdrWriter& Bool(bool v) { return U32(v ? 1 : 0); }
  XdrWriter& Opaque(std::string_view bytes);
  const std::string& Bytes() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Cuts a TCP stream into records (RFC 5531 section 11).
class RecordReader {
 public:
  enum class Status { kMore, kRecord, kTooLong };
  // Takes bytes; returns kRecord with the record in *record when one is
  // whole (call again with no bytes for the next), kTooLong when a record
  // passed kMaxRecord (the stream is then useless), else kMore.
  Status Feed(std::string_view bytes, std::string* record);

 private:
  std::string pending_;  // bytes not yet parsed
  std::string record_;   // the fragments of the record so far
};

// One record with its single, last fragment header.
std::string Frame(std::string_view record);

inline constexpr std::uint32_t kAuthNone = 0;
inline constexpr std::size_t kMaxAuth = 400;

// A call's header; the arguments follow in args.
struct Call {
  std::uint32_t xid = 0;
  std::uint32_t program = 0;
  std::uint32_t version = 0;
  std::uint32_t procedure = 0;
  std::string_view args;
};

// Nothing when the bytes are no RPC version 2 call.
std::optional<Call> ParseCall(std::string_view record);

enum class AcceptStat : std::uint32_t {
  kSuccess = 0,
  kProgUnavail = 1,
  kProgMismatch = 2,
  kProcUnavail = 3,
  kGarbageArgs = 4,
};

// An accepted reply with AUTH_NONE as verifier: its results for kSuccess,
// the versions (low, high) for kProgMismatch, nothing for the others.
std::string Reply(std::uint32_t xid, AcceptStat stat, std::string_view results = {});
std::string MismatchReply(std::uint32_t xid, std::uint32_t low, std::uint32_t high);

// A decoded reply, for the tests and the benchmark's client.
struct ParsedReply {
  std::uint32_t xid = 0;
  AcceptStat stat = AcceptStat::kSuccess;
  std::string_view results;
};
std::optional<ParsedReply> ParseReply(std::string_view record);
// A call message with AUTH_NONE, for the tests and the benchmark.
std::string CallMessage(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                        std::uint32_t procedure, std::string_view args);

}  // namespace kolvane::rpc
