#include "tests/support/scripted_port.h"

#include <algorithm>

namespace kolvane::test {

PortSpec& ScriptedPorts::AddPort(const std::string& name, PortSpec setup) {
  return setups_[name] = setup;
}

ScriptedPorts::Open_* ScriptedPorts::Find(PortHandle h) {
  if (h <= 0 || static_cast<std::size_t>(h) > handles_.size()) return nullptr;
  Open_& o = handles_[static_cast<std::size_t>(h) - 1];
  return o.open ? &o : nullptr;
}

ScriptedPorts::Open_* ScriptedPorts::Current() {
  for (auto it = handles_.rbegin(); it != handles_.rend(); ++it) {
    if (it->open) return &*it;
  }
  return nullptr;
}

void ScriptedPorts::Reply(std::span<const std::uint8_t> bytes, std::uint64_t delayMs) {
  Open_* o = Current();
  if (o == nullptr) return;
  for (std::uint8_t b : bytes) o->incoming.emplace_back(clock_.now + delayMs, b);
}

void ScriptedPorts::Reply(const std::string& bytes, std::uint64_t delayMs) {
  Reply(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), delayMs);
}

void ScriptedPorts::ReplySpaced(const std::string& bytes, std::uint64_t delayMs,
                                std::uint64_t gapMs) {
  Open_* o = Current();
  if (o == nullptr) return;
  std::uint64_t t = clock_.now + delayMs;
  for (char c : bytes) {
    o->incoming.emplace_back(t, static_cast<std::uint8_t>(c));
    t += gapMs;
  }
}

std::size_t ScriptedPorts::Pending() const {
  std::size_t n = 0;
  for (const auto& o : handles_) n += o.incoming.size();
  return n;
}

void ScriptedPorts::Unplug(const std::string& name) {
  setups_[name].exists = false;
  for (auto& o : handles_) {
    if (o.open && o.name == name) o.dead = true;
  }
}

void ScriptedPorts::Replug(const std::string& name) {
  setups_[name].exists = true;
}

PortHandle ScriptedPorts::Open(const std::string& name) {
  openAttempts.push_back(name);
  auto it = setups_.find(name);
  const bool busy = std::any_of(handles_.begin(), handles_.end(), [&](const Open_& o) {
    return o.open && !o.dead && o.name == name;
  });
  if (it == setups_.end() || !it->second.exists || busy) {
    lastError_ = busy ? 5 : 2;  // ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND
    return kInvalidPortHandle;
  }
  Open_ o;
  o.name = name;
  o.open = true;
  o.t = it->second.initialTimeouts;
  handles_.push_back(o);
  opened.push_back(name);
  return static_cast<PortHandle>(handles_.size());
}

bool ScriptedPorts::GetCommState(PortHandle h, Dcb& dcb) {
  Open_* o = Find(h);
  if (o == nullptr) return false;
  dcb = Dcb{9600, 7, 2, 0, true};
  return true;
}

bool ScriptedPorts::SetCommState(PortHandle h, const Dcb& dcb) {
  Open_* o = Find(h);
  if (o == nullptr) return false;
  if (setups_[o->name].setStateFails) {
    lastError_ = setups_[o->name].lastError;
    return false;
  }
  states[o->name] = dcb;
  return true;
}

bool ScriptedPorts::GetCommTimeouts(PortHandle h, CommTimeouts& t) {
  Open_* o = Find(h);
  if (o == nullptr) return false;
  t = o->t;
  return true;
}

bool ScriptedPorts::SetCommTimeouts(PortHandle h, const CommTimeouts& t) {
  Open_* o = Find(h);
  if (o == nullptr) return false;
  if (setups_[o->name].setTimeoutsFails) {
    lastError_ = setups_[o->name].lastError;
    return false;
  }
  o->t = t;
  timeouts[o->name] = t;
  return true;
}

bool ScriptedPorts::Write(PortHandle h, const std::uint8_t* data, std::uint32_t n,
                          std::uint32_t* written) {
  *written = 0;
  Open_* o = Find(h);
  if (o == nullptr) {
    lastError_ = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
  if (o->dead) {
    lastError_ = 22;  // ERROR_BAD_COMMAND: the device is gone
    return false;
  }
  const auto& setup = setups_[o->name];
  *written = setup.writeAccepts ? std::min(*setup.writeAccepts, n) : n;
  std::vector<std::uint8_t> frame(data, data + n);
  writes.push_back({clock_.now, o->name, frame});
  if (responder_) responder_(*this, frame);
  return true;
}

bool ScriptedPorts::Read(PortHandle h, std::uint8_t* data, std::uint32_t n, std::uint32_t* got) {
  *got = 0;
  Open_* o = Find(h);
  if (o == nullptr) {
    lastError_ = 6;
    return false;
  }
  if (o->dead) {
    lastError_ = 22;
    return false;
  }
  const std::uint64_t start = clock_.now;
  const std::uint64_t deadline = start + o->t.readTotalTimeoutConstant +
                                 static_cast<std::uint64_t>(o->t.readTotalTimeoutMultiplier) * n;
  std::uint64_t last = start;
  while (*got < n) {
    std::uint64_t limit = deadline;
    if (*got > 0 && o->t.readIntervalTimeout != 0) {
      limit = std::min(limit, last + o->t.readIntervalTimeout);
    }
    if (o->incoming.empty() || o->incoming.front().first > limit) {
      clock_.AdvanceTo(limit);
      break;
    }
    clock_.AdvanceTo(o->incoming.front().first);
    data[(*got)++] = o->incoming.front().second;
    o->incoming.pop_front();
    last = clock_.now;
  }
  reads.push_back({start, n, *got, clock_.now - start, {data, data + *got}});
  return true;
}

bool ScriptedPorts::Close(PortHandle h) {
  Open_* o = Find(h);
  if (o == nullptr) return false;
  o->open = false;
  closed.push_back(o->name);
  return true;
}

std::vector<std::string> ScriptedPorts::WrittenFrames() const {
  std::vector<std::string> out;
  for (const auto& w : writes) out.push_back(w.Text());
  return out;
}

}  // namespace kolvane::test
