#include "rpc/vxi11.h"

namespace kolvane::rpc {

namespace {

// VXI-11 gives no bound to device names; a name longer than this is
// refused as garbage rather than kept.
constexpr std::size_t kMaxDeviceName = 256;
constexpr std::size_t kMaxSrqHandle = 40;

template <typename T>
std::optional<T> Whole(const XdrReader& r, T value) {
  if (!r.Done()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<CreateLinkParms> DecodeCreateLink(std::string_view args) {
  XdrReader r(args);
  CreateLinkParms p;
  p.clientId = r.I32();
  p.lockDevice = r.Bool();
  p.lockTimeout = r.U32();
  p.device = r.Opaque(kMaxDeviceName);
  return Whole(r, std::move(p));
}

std::optional<WriteParms> DecodeWrite(std::string_view args) {
  XdrReader r(args);
  WriteParms p;
  p.lid = r.I32();
  p.ioTimeout = r.U32();
  p.lockTimeout = r.U32();
  p.flags = r.U32();
  p.data = r.Opaque(kMaxRecord);
  return Whole(r, std::move(p));
}

std::optional<ReadParms> DecodeRead(std::string_view args) {
  XdrReader r(args);
  ReadParms p;
  p.lid = r.I32();
  p.requestSize = r.U32();
  p.ioTimeout = r.U32();
  p.lockTimeout = r.U32();
  p.flags = r.U32();
  // A char travels as a whole XDR int.
  p.termChar = static_cast<char>(r.U32() & 0xFF);
  return Whole(r, p);
}

std::optional<GenericParms> DecodeGeneric(std::string_view args) {
  XdrReader r(args);
  GenericParms p;
  p.lid = r.I32();
  p.flags = r.U32();
  p.lockTimeout = r.U32();
  p.ioTimeout = r.U32();
  return Whole(r, p);
}

std::optional<GenericParms> DecodeLock(std::string_view args) {
  XdrReader r(args);
  GenericParms p;
  p.lid = r.I32();
  p.flags = r.U32();
  p.lockTimeout = r.U32();
  return Whole(r, p);
}

std::optional<std::int32_t> DecodeLink(std::string_view args) {
  XdrReader r(args);
  const std::int32_t lid = r.I32();
  return Whole(r, lid);
}

bool DecodeUnsupported(CoreProc proc, std::string_view args) {
  XdrReader r(args);
  switch (proc) {
    case CoreProc::kEnableSrq:
      r.I32();
      r.Bool();
      r.Opaque(kMaxSrqHandle);
      break;
    case CoreProc::kDocmd:
      for (int i = 0; i < 5; ++i) r.U32();  // lid, flags, io_timeout, lock_timeout, cmd
      r.Bool();                             // network_order
      r.I32();                              // datasize
      r.Opaque(kMaxRecord);
      break;
    case CoreProc::kCreateIntrChan:
      for (int i = 0; i < 5; ++i) r.U32();  // host address and port, program, version, family
      break;
    case CoreProc::kDestroyIntrChan:
      break;
    default:
      return false;
  }
  return r.Done();
}

std::string CreateLinkResult(std::int32_t error, std::int32_t lid, std::uint16_t abortPort,
                             std::uint32_t maxRecvSize) {
  return XdrWriter().I32(error).I32(lid).U32(abortPort).U32(maxRecvSize).Take();
}

std::string WriteResult(std::int32_t error, std::uint32_t size) {
  return XdrWriter().I32(error).U32(size).Take();
}

std::string ReadResult(std::int32_t error, std::int32_t reason, std::string_view data) {
  return XdrWriter().I32(error).I32(reason).Opaque(data).Take();
}

std::string ReadStbResult(std::int32_t error, std::uint8_t stb) {
  return XdrWriter().I32(error).U32(stb).Take();
}

std::string ErrorResult(std::int32_t error) {
  return XdrWriter().I32(error).Take();
}

std::string DocmdResult(std::int32_t error) {
  return XdrWriter().I32(error).Opaque({}).Take();
}

std::optional<std::string> CheckProgram(const Call& call, std::uint32_t program) {
  if (call.program != program) return Reply(call.xid, AcceptStat::kProgUnavail);
  if (call.version != kVxi11Version) {
    return MismatchReply(call.xid, kVxi11Version, kVxi11Version);
  }
  return std::nullopt;
}

PortmapAnswer Portmap(std::string_view record, std::uint16_t corePort) {
  const auto call = ParseCall(record);
  if (!call) return {std::nullopt, true};
  if (call->program != kPortmapProgram) return {Reply(call->xid, AcceptStat::kProgUnavail), true};
  if (call->version != kPortmapVersion) {
    return {MismatchReply(call->xid, kPortmapVersion, kPortmapVersion), false};
  }
  if (call->procedure == kPortmapNull) {
    if (!call->args.empty()) return {Reply(call->xid, AcceptStat::kGarbageArgs), true};
    return {Reply(call->xid, AcceptStat::kSuccess), false};
  }
  if (call->procedure != kPortmapGetPort) return {Reply(call->xid, AcceptStat::kProcUnavail), true};
  XdrReader r(call->args);
  const std::uint32_t program = r.U32();
  const std::uint32_t version = r.U32();
  const std::uint32_t protocol = r.U32();
  r.U32();  // port: unused
  if (!r.Done()) return {Reply(call->xid, AcceptStat::kGarbageArgs), true};
  const bool core = program == kCoreProgram && version == kVxi11Version && protocol == kProtocolTcp;
  return {Reply(call->xid, AcceptStat::kSuccess, XdrWriter().U32(core ? corePort : 0).Bytes()),
          false};
}

std::string GetPortArgs(std::uint32_t program, std::uint32_t version, std::uint32_t protocol) {
  return XdrWriter().U32(program).U32(version).U32(protocol).U32(0).Take();
}

}  // namespace kolvane::rpc
