// The messages of VXI-11 (the core and abort channels) and of the
// portmapper's version 2 (RFC 1833), over the XDR of rpc/xdr.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rpc/message.h"

namespace kolvane::rpc {

inline constexpr std::uint32_t kCoreProgram = 0x0607AF;
inline constexpr std::uint32_t kAbortProgram = 0x0607B0;
inline constexpr std::uint32_t kInterruptProgram = 0x0607B1;
inline constexpr std::uint32_t kVxi11Version = 1;

// The core channel's procedures.
enum class CoreProc : std::uint32_t {
  kNull = 0,
  kCreateLink = 10,
  kWrite = 11,
  kRead = 12,
  kReadStb = 13,
  kTrigger = 14,
  kClear = 15,
  kRemote = 16,
  kLocal = 17,
  kLock = 18,
  kUnlock = 19,
  kEnableSrq = 20,
  kDocmd = 22,
  kDestroyLink = 23,
  kCreateIntrChan = 25,
  kDestroyIntrChan = 26,
};
inline constexpr std::uint32_t kAbortProc = 1;

// Device_Flags.
inline constexpr std::uint32_t kWaitLock = 1;
inline constexpr std::uint32_t kEnd = 8;
inline constexpr std::uint32_t kTermCharSet = 128;

// device_read's reasons.
inline constexpr std::int32_t kReasonRequestCount = 1;
inline constexpr std::int32_t kReasonChar = 2;
inline constexpr std::int32_t kReasonEnd = 4;

// Device_ErrorCode.
namespace vxi_err {
inline constexpr std::int32_t kNone = 0;
inline constexpr std::int32_t kSyntax = 1;
inline constexpr std::int32_t kNotAccessible = 3;
inline constexpr std::int32_t kInvalidLink = 4;
inline constexpr std::int32_t kParameter = 5;
inline constexpr std::int32_t kNotSupported = 8;
inline constexpr std::int32_t kOutOfResources = 9;
inline constexpr std::int32_t kLocked = 11;
inline constexpr std::int32_t kNoLock = 12;
inline constexpr std::int32_t kIoTimeout = 15;
inline constexpr std::int32_t kIoError = 17;
inline constexpr std::int32_t kAbort = 23;
}  // namespace vxi_err

struct CreateLinkParms {
  std::int32_t clientId = 0;
  bool lockDevice = false;
  std::uint32_t lockTimeout = 0;
  std::string device;
};
struct WriteParms {
  std::int32_t lid = 0;
  std::uint32_t ioTimeout = 0;
  std::uint32_t lockTimeout = 0;
  std::uint32_t flags = 0;
  std::string data;
};
struct ReadParms {
  std::int32_t lid = 0;
  std::uint32_t requestSize = 0;
  std::uint32_t ioTimeout = 0;
  std::uint32_t lockTimeout = 0;
  std::uint32_t flags = 0;
  char termChar = '\n';
};
// Device_GenericParms (readstb, trigger, clear, remote, local) and
// Device_LockParms (no ioTimeout); unlock, destroy_link and abort take a
// link alone.
struct GenericParms {
  std::int32_t lid = 0;
  std::uint32_t flags = 0;
  std::uint32_t lockTimeout = 0;
  std::uint32_t ioTimeout = 0;
};

// The arguments of a core or abort procedure, nothing when they do not
// decode (GARBAGE_ARGS). Procedures answered "not supported" decode too,
// so that garbage is told apart from a request we turn down.
std::optional<CreateLinkParms> DecodeCreateLink(std::string_view args);
std::optional<WriteParms> DecodeWrite(std::string_view args);
std::optional<ReadParms> DecodeRead(std::string_view args);
std::optional<GenericParms> DecodeGeneric(std::string_view args);
std::optional<GenericParms> DecodeLock(std::string_view args);
std::optional<std::int32_t> DecodeLink(std::string_view args);
// enable_srq, docmd, create_intr_chan, destroy_intr_chan: true when they decode.
bool DecodeUnsupported(CoreProc proc, std::string_view args);

std::string CreateLinkResult(std::int32_t error, std::int32_t lid, std::uint16_t abortPort,
                             std::uint32_t maxRecvSize);
std::string WriteResult(std::int32_t error, std::uint32_t size);
std::string ReadResult(std::int32_t error, std::int32_t reason, std::string_view data);
std::string ReadStbResult(std::int32_t error, std::uint8_t stb);
std::string ErrorResult(std::int32_t error);
// docmd's reply has data_out beside its error.
std::string DocmdResult(std::int32_t error);

// What a call of the core channel or the abort channel gets before any
// procedure runs: nothing when it is for that program and version, else the
// reply to send (PROG_UNAVAIL, PROG_MISMATCH) before closing.
std::optional<std::string> CheckProgram(const Call& call, std::uint32_t program);

// The portmapper, version 2.
inline constexpr std::uint32_t kPortmapProgram = 100000;
inline constexpr std::uint32_t kPortmapVersion = 2;
inline constexpr std::uint16_t kPortmapPort = 111;
inline constexpr std::uint32_t kPortmapNull = 0;
inline constexpr std::uint32_t kPortmapGetPort = 3;
inline constexpr std::uint32_t kProtocolTcp = 6;
inline constexpr std::uint32_t kProtocolUdp = 17;

struct PortmapAnswer {
  std::optional<std::string> reply;  // nothing: bytes that are no call; send nothing
  bool close = false;                // over TCP, close after the reply
};
// The own portmapper: NULL, and GETPORT of the core channel over TCP
// (corePort) and of nothing else (0); PROG_MISMATCH (2, 2) for other
// versions, PROC_UNAVAIL for other procedures, PROG_UNAVAIL for other
// programs, GARBAGE_ARGS for arguments that do not decode.
PortmapAnswer Portmap(std::string_view record, std::uint16_t corePort);

// GETPORT's arguments, for the tests and the benchmark.
std::string GetPortArgs(std::uint32_t program, std::uint32_t version, std::uint32_t protocol);

}  // namespace kolvane::rpc
