// VXI-11's and the portmapper's decoding: the bytes of a TCP connection cut
// into records (the first input byte chooses the piece size), each record
// taken as an RPC call and its arguments decoded as every procedure's.
// Invariants: no record passes 64 KiB; a record framed again reads back
// the same; arguments that decode encode back to the same values; the
// portmapper answers a call with a reply of the same xid and nothing else.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rpc/message.h"
#include "rpc/vxi11.h"

namespace {

using namespace kolvane::rpc;

[[noreturn]] void Fail(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

void Check(bool ok, const char* invariant) {
  if (!ok) Fail(invariant);
}

void Record(const std::string& record) {
  Check(record.size() <= kMaxRecord, "a record within 64 KiB");
  RecordReader again;
  std::string back;
  Check(again.Feed(Frame(record), &back) == RecordReader::Status::kRecord && back == record,
        "a framed record reads back");

  const PortmapAnswer answer = Portmap(record, 1234);
  const auto call = ParseCall(record);
  Check(answer.reply.has_value() == call.has_value(), "the portmapper answers calls only");
  if (!call) return;
  const auto reply = ParseReply(*answer.reply);
  Check(reply && reply->xid == call->xid, "the portmapper's reply has the call's xid");

  const std::string_view args = call->args;
  if (const auto p = DecodeCreateLink(args)) {
    const auto q = DecodeCreateLink(XdrWriter()
                                        .I32(p->clientId)
                                        .Bool(p->lockDevice)
                                        .U32(p->lockTimeout)
                                        .Opaque(p->device)
                                        .Bytes());
    Check(q && q->clientId == p->clientId && q->lockDevice == p->lockDevice &&
              q->lockTimeout == p->lockTimeout && q->device == p->device,
          "create_link's arguments encode back");
  }
  if (const auto p = DecodeWrite(args)) {
    const auto q = DecodeWrite(XdrWriter()
                                   .I32(p->lid)
                                   .U32(p->ioTimeout)
                                   .U32(p->lockTimeout)
                                   .U32(p->flags)
                                   .Opaque(p->data)
                                   .Bytes());
    Check(q && q->lid == p->lid && q->flags == p->flags && q->data == p->data &&
              args.size() == 20 + (p->data.size() + 3) / 4 * 4,
          "device_write's arguments encode back");
  }
  if (const auto p = DecodeRead(args))
    Check(args.size() == 24, "device_read's arguments are 6 words");
  if (const auto p = DecodeGeneric(args)) Check(args.size() == 16, "generic arguments are 4 words");
  if (const auto p = DecodeLock(args))
    Check(args.size() == 12, "device_lock's arguments are 3 words");
  if (const auto p = DecodeLink(args)) Check(args.size() == 4, "a link is one word");
  for (const CoreProc proc : {CoreProc::kEnableSrq, CoreProc::kDocmd, CoreProc::kCreateIntrChan,
                              CoreProc::kDestroyIntrChan}) {
    DecodeUnsupported(proc, args);
  }
  if (CheckProgram(*call, kCoreProgram)) {
    Check(call->program != kCoreProgram || call->version != kVxi11Version,
          "the core channel is let in");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 64 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  RecordReader reader;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    std::string record;
    auto status = reader.Feed(bytes.substr(at, piece), &record);
    while (status == RecordReader::Status::kRecord) {
      Record(record);
      status = reader.Feed({}, &record);
    }
    if (status == RecordReader::Status::kTooLong) return 0;  // the connection closes
  }
  // A datagram: the whole input as one record, as the portmapper's UDP takes it.
  Record(std::string(bytes.substr(0, kMaxRecord)));
  return 0;
}
