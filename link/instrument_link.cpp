#include "link/instrument_link.h"

#include "protocol/protocol.h"
#include "resources/format.h"

namespace kolvane {

namespace {

constexpr std::uint8_t kNoStatus = '&';  // matches no status byte
constexpr std::uint8_t kResult = protocol::kResultStatus;
constexpr std::uint8_t kError = protocol::kErrorStatus;
constexpr std::uint8_t kInterrupted = protocol::kStopStatus;

std::uint32_t BigEndian32(const std::uint8_t* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

}  // namespace

void InstrumentLink::NoteFailure(bool ok) {
  // Only an open port can die; calls on a handle that never opened fail as
  // they always did.
  if (!ok && Valid()) lost_ = true;
}

std::uint32_t InstrumentLink::Write(const std::uint8_t* data, std::uint32_t n) {
  if (lost_) return 0;
  std::uint32_t written = 0;
  NoteFailure(ports_.Write(st_.portHandle, data, n, &written));
  return written;
}

std::uint32_t InstrumentLink::Read(std::uint8_t* data, std::uint32_t n) {
  if (lost_) return 0;
  std::uint32_t got = 0;
  NoteFailure(ports_.Read(st_.portHandle, data, n, &got));
  return got;
}

std::uint32_t InstrumentLink::ReadField(std::uint8_t* data, std::uint32_t n, int attempts) {
  std::uint32_t got = 0;
  for (int i = 0; i < attempts && got == 0; ++i) got = Read(data, n);
  // A field cut by a pause: fetch the rest rather than use what the buffer
  // held from an earlier exchange. Each read brings a byte or ends it.
  while (got > 0 && got < n) {
    const std::uint32_t more = Read(data + got, n - got);
    if (more == 0) break;
    got += more;
  }
  return got;
}

void InstrumentLink::DropPort() {
  st_.portFound = 0;
  portNumber_ = 0;
  if (Valid()) {
    ports_.Close(st_.portHandle);
    st_.portHandle = kInvalidPortHandle;
  }
}

bool InstrumentLink::Open(int n, IScanObserver& observer) {
  const std::string name = Format("COM%d:", n);
  st_.portHandle = ports_.Open(name);
  if (st_.portHandle == kInvalidPortHandle) {
    observer.OnOpenFailed(n, name, ports_.LastError());
    st_.portFound = 0;
    return false;
  }
  Dcb dcb;
  ports_.GetCommState(st_.portHandle, dcb);
  dcb.baudRate = 19200;
  dcb.byteSize = 8;
  dcb.stopBits = 0;
  dcb.fParity = false;
  if (!ports_.SetCommState(st_.portHandle, dcb)) {
    observer.OnStateFailed(n, ports_.LastError());
    DropPort();
    return false;
  }
  ports_.GetCommTimeouts(st_.portHandle, st_.savedTimeouts);
  if (!ports_.SetCommTimeouts(st_.portHandle, kLinkTimeouts)) {
    observer.OnTimeoutsFailed(n);
    DropPort();
    return false;
  }
  portNumber_ = n;
  lost_ = false;
  return true;
}

int InstrumentLink::Scan(IScanObserver& observer, int first, int last) {
  std::uint8_t* rx = st_.rxBuffer.data();
  st_.portFound = 0;
  portNumber_ = 0;
  observer.OnScanStart();
  for (int n = first; n <= last; ++n) {
    if (st_.portFound != 1) {
      st_.portFound = 1;
      if (!Open(n, observer)) continue;
    }

    clock_.Sleep(100);
    st_.txFrame[0] = protocol::kHandshakeLetter;
    st_.txFrame[1] = kCr;
    Write(st_.txFrame.data(), 2);
    rx[0] = kPrime;
    const std::uint32_t got = Read(rx, 2);
    if (rx[0] == protocol::kPresenceReply) {
      // The serial byte may follow the "N" after a pause; a byte left in the
      // buffer from before is no serial number.
      std::optional<std::uint8_t> serial;
      if (got >= 2 || Read(rx + 1, 1) == 1) serial = rx[1];
      observer.OnFound(portNumber_, serial);
      clock_.Sleep(200);
      break;
    }
    Read(rx, 2);
    if (rx[0] == protocol::kPresenceReply) continue;  // answered late: the next pass tries again
    observer.OnNoAnswer(portNumber_);
    DropPort();
  }
  return static_cast<int>(st_.portFound);
}

bool InstrumentLink::Reopen() {
  const int n = portNumber_;
  if (n == 0) return false;
  if (Valid()) ports_.Close(st_.portHandle);
  st_.portHandle = kInvalidPortHandle;
  IScanObserver quiet;
  if (!Open(n, quiet)) {
    portNumber_ = n;  // kept, so that a later Config can try again
    return false;
  }
  st_.portFound = 1;
  return true;
}

bool InstrumentLink::Exchange(const Command& cmd) {
  st_.txFrame[0] = static_cast<std::uint8_t>(cmd.letter);
  std::uint32_t length = 2;
  if (cmd.param == kNoParam) {
    st_.txFrame[1] = kCr;
  } else {
    st_.txFrame[1] = static_cast<std::uint8_t>(cmd.param);
    st_.txFrame[2] = kCr;
    length = 3;
  }
  const std::uint32_t written = Write(st_.txFrame.data(), length);
  st_.rxBuffer[0] = kPrime;
  if (cmd.pauseBeforeReadMs != 0) clock_.Sleep(cmd.pauseBeforeReadMs);

  std::uint8_t* rx = st_.rxBuffer.data();
  // Every byte the rule's reads take, in order, to tell afterwards whether
  // anything beyond the acknowledgement was taken.
  std::array<std::uint8_t, 16> taken{};
  std::size_t takenCount = 0;
  const auto read = [&](std::uint32_t n) {
    const std::uint32_t got = Read(rx, n);
    for (std::uint32_t i = 0; i < got && takenCount < taken.size(); ++i) {
      taken[takenCount++] = rx[i];
    }
    return got;
  };
  const auto cr = [&] { return rx[0] == kCr; };
  const auto pause = [&] { clock_.Sleep(1); };

  const auto apply = [&]() -> bool {
    switch (cmd.rule) {
      case AckRule::kNone:
        return true;
      case AckRule::k1:
        read(2);
        if (cr()) return true;
        read(2);
        if (cr()) return true;
        pause();
        return read(2) != 0;
      case AckRule::k2:
        read(2);
        if (cr()) return true;
        pause();
        read(2);
        return cr();
      case AckRule::k3:
        if (read(2) != 0) return true;
        pause();
        return read(2) != 0;
      case AckRule::k4:
        for (int i = 0; i < 3; ++i) {
          read(1);
          if (cr()) return true;
        }
        return false;
      case AckRule::k5:
        read(1);
        if (cr()) return true;
        read(1);
        if (cr()) return true;
        rx[0] = kPrime;
        read(1);
        return cr();
      case AckRule::k6:
        read(1);
        if (cr()) return true;
        pause();
        read(1);
        return cr();
      case AckRule::k7:
        if (read(1) != 0) return true;  // CR or any other byte
        read(1);
        return cr();
      case AckRule::k8:
        read(1);
        if (cr()) return true;
        read(1);
        return cr();
      case AckRule::k9:
        if (read(1) != 0) return true;
        if (read(1) != 0) return true;
        pause();
        return read(1) != 0;
      case AckRule::k10: {
        const bool ok = written != 0 || read(1) != 0 || read(1) != 0;
        read(5);
        return ok;
      }
    }
    return false;
  };
  if (cmd.rule == AckRule::kNone) return true;  // nothing read: the line stands as it did
  const bool ok = apply();
  if (takenCount == 0 || (takenCount == 1 && taken[0] == kCr)) {
    afterReply_ = AfterReply::kAligned;
  } else if (takenCount == 2 && taken[0] == kCr) {
    afterReply_ = AfterReply::kStatusTaken;
    byteAfterReply_ = taken[1];
  } else {
    afterReply_ = AfterReply::kUnknown;
  }
  return ok;
}

// Results the instrument sent while no tick read the line (during the scan's
// pauses, a handler's exchange) would come before the reply to "D1" and be
// taken for it; the state would then stay on the line and be read as status
// bytes. What has already arrived is no reply to a request not yet sent, so
// it is read away at once.
std::uint32_t InstrumentLink::DropUnreadInput() {
  if (lost_) return 0;
  const PortHandle h = st_.portHandle;
  CommTimeouts link{};
  if (!ports_.GetCommTimeouts(h, link)) return 0;
  CommTimeouts atOnce = link;
  atOnce.readIntervalTimeout = 0xFFFFFFFFu;  // with no total: return at once
  atOnce.readTotalTimeoutMultiplier = 0;
  atOnce.readTotalTimeoutConstant = 0;
  if (!ports_.SetCommTimeouts(h, atOnce)) return 0;
  std::array<std::uint8_t, 16> unread{};
  std::uint32_t got = 0;
  std::uint32_t dropped = 0;
  // Bounded, so that a line that keeps filling cannot hold the tick.
  for (int i = 0; i < 64; ++i) {
    const bool ok = ports_.Read(h, unread.data(), unread.size(), &got);
    NoteFailure(ok);
    if (ok) dropped += got;
    // A result may have been half in: what follows could be the rest of it.
    if (got > 0) afterReply_ = AfterReply::kUnknown;
    if (!ok || got < unread.size()) break;
  }
  ports_.SetCommTimeouts(h, link);
  return dropped;
}

bool InstrumentLink::StatusWaiting() {
  if (heldStatus_) return true;
  if (lost_) return false;
  const PortHandle h = st_.portHandle;
  CommTimeouts link{};
  if (!ports_.GetCommTimeouts(h, link)) return false;
  CommTimeouts atOnce = link;
  atOnce.readIntervalTimeout = 0xFFFFFFFFu;  // with no total: return at once
  atOnce.readTotalTimeoutMultiplier = 0;
  atOnce.readTotalTimeoutConstant = 0;
  if (!ports_.SetCommTimeouts(h, atOnce)) return false;
  std::uint8_t status = 0;
  std::uint32_t got = 0;
  const bool ok = ports_.Read(h, &status, 1, &got);
  NoteFailure(ok);
  ports_.SetCommTimeouts(h, link);
  if (!ok || got != 1) return false;
  heldStatus_ = status;
  return true;
}

void InstrumentLink::SkipToQuiet(std::uint32_t maxMs) {
  if (lost_) return;
  const PortHandle h = st_.portHandle;
  CommTimeouts link{};
  if (!ports_.GetCommTimeouts(h, link)) return;
  // A read ends 2 ms after a byte with no other behind it (a result's bytes
  // come back to back), or after 50 ms of silence.
  const CommTimeouts kGap{2, 0, 50, link.writeTotalTimeoutMultiplier,
                          link.writeTotalTimeoutConstant};
  if (!ports_.SetCommTimeouts(h, kGap)) return;
  std::array<std::uint8_t, 16> unread{};
  const std::uint64_t end = clock_.NowMs() + maxMs;
  std::uint32_t got = unread.size();
  while (got == unread.size() && clock_.NowMs() < end) {
    const bool ok = ports_.Read(h, unread.data(), unread.size(), &got);
    NoteFailure(ok);
    if (!ok) break;
  }
  ports_.SetCommTimeouts(h, link);
}

void InstrumentLink::StartPolling(std::uint32_t maxMs) {
  switch (afterReply_) {
    case AfterReply::kAligned:
      break;
    case AfterReply::kStatusTaken:
      heldStatus_ = byteAfterReply_;
      break;
    case AfterReply::kUnknown:
      SkipToQuiet(maxMs);
      break;
  }
  afterReply_ = AfterReply::kAligned;
}

StateReply InstrumentLink::RequestState() {
  std::uint8_t* rx = st_.rxBuffer.data();
  st_.txFrame = {protocol::kStateLetter, protocol::kStateParam, kCr};
  rx[0] = kPrime;
  Write(st_.txFrame.data(), 3);
  clock_.Sleep(10);

  // The "C" may come only at the second look; its state bytes follow it
  // either way and must not be left on the line for the poll to misread.
  // A byte before the "C" may have been the start of a result.
  afterReply_ = AfterReply::kUnknown;
  const bool tookOne = Read(rx, 1) != 0;
  const bool clean = !tookOne || rx[0] == protocol::kStateReplyLetter;
  if (rx[0] != protocol::kStateReplyLetter) Read(rx, 1);
  if (rx[0] != protocol::kStateReplyLetter) return StateReply::NoReply;
  // A second try only for silence: bytes after a cut reply are the start of
  // the next result, and taking them as state would apply garbage.
  constexpr std::uint32_t kStateBytes = 15;
  std::uint32_t got = Read(rx, kStateBytes);
  if (got == 0) got = Read(rx, kStateBytes);
  if (got < kStateBytes) return StateReply::Short;
  if (clean) afterReply_ = AfterReply::kAligned;
  return StateReply::Ok;
}

PollOutcome InstrumentLink::Poll(std::uint32_t fieldLength, bool patient) {
  std::uint8_t* rx = st_.rxBuffer.data();
  PollOutcome o;

  // Status: three tries; a byte that needed the third is too late to show.
  rx[0] = kNoStatus;
  if (heldStatus_) {
    rx[0] = *heldStatus_;
    heldStatus_.reset();
  } else if (patient) {
    if (Read(rx, 1) == 0) return o;
  } else if (Read(rx, 1) == 0 && Read(rx, 1) == 0) {
    Read(rx, 1);
    o.late = true;
  }
  switch (rx[0]) {
    case kInterrupted:
      o.late = true;
      o.kind = PollOutcome::Stop;
      return o;
    case kError:
      o.late = true;
      return o;
    case kResult:
      break;
    default:
      return o;  // stray byte or nothing: consumed, ignored
  }

  const std::uint32_t got = ReadField(rx, fieldLength, 3);
  const bool complete = got == fieldLength;
  if (got == 0) {
    // A last try, only to take the field off the line; it is not shown.
    Read(rx, fieldLength);
    o.late = true;
  } else if (!complete) {
    o.late = true;
  }
  // The instrument's interruption flag still counts on a field not shown.
  if (rx[0] == kInterrupted) {
    o.kind = PollOutcome::Stop;
  } else if (complete && !o.late) {
    o.kind = PollOutcome::Reading;
    o.n1 = BigEndian32(rx);
    o.n2 = fieldLength == 8 ? BigEndian32(rx + 4) : 0;
  }
  return o;
}

void InstrumentLink::Close() {
  st_.txFrame[0] = protocol::kCloseLetter;
  st_.txFrame[1] = kCr;
  Write(st_.txFrame.data(), 2);
  st_.rxBuffer[0] = kPrime;
  clock_.Sleep(100);
  if (Valid()) {
    ports_.SetCommTimeouts(st_.portHandle, st_.savedTimeouts);
    ports_.Close(st_.portHandle);
    st_.portHandle = kInvalidPortHandle;
  }
}

}  // namespace kolvane
