// The IEEE 488.2 common commands and the SYSTem subsystem: identity, reset,
// the status registers and the error queue.
#include <cmath>

#include "scpi/command.h"
#include "scpi/parameters.h"

namespace kolvane::scpi {

namespace {

void Idn(Call& c) {
  if (!Arity(c, 0, 0)) return;
  const Identity id = c.ctx.identify();
  c.reply = id.manufacturer + "," + id.model + "," + id.serial + "," + id.version;
}

void Rst(Call& c) {
  if (!Arity(c, 0, 0)) return;
  c.ctx.sampleCount = 1;
  c.ctx.initiated = false;
  c.ctx.readings.clear();
  if (!c.ctx.Need()) return;
  c.ctx.Fail(c.ctx.inst.Reset());
}

void Cls(Call& c) {
  if (!Arity(c, 0, 0)) return;
  c.ctx.errors.Clear();
  c.ctx.esr = 0;
}

// *ESE and *SRE: a register of 0..255.
std::optional<int> Register(Call& c) {
  if (!Arity(c, 1, 1)) return std::nullopt;
  const auto v = Ranged(c, 0, 0, 255, 0);
  if (!v) return std::nullopt;
  return static_cast<int>(std::lround(*v));
}

void Ese(Call& c) {
  if (const auto v = Register(c)) c.ctx.ese = *v;
}

void EseQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(c.ctx.ese);
}

void EsrQ(Call& c) {
  if (!Arity(c, 0, 0)) return;
  c.reply = Nr1(c.ctx.esr);
  c.ctx.esr = 0;
}

void Opc(Call& c) {
  // Commands run one after the other: every one before this has ended.
  if (Arity(c, 0, 0)) c.ctx.esr |= 0x01;
}

void OpcQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = "1";
}

void Sre(Call& c) {
  // Bit 6 is the summary itself.
  if (const auto v = Register(c)) c.ctx.sre = *v & ~0x40;
}

void SreQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(c.ctx.sre);
}

void StbQ(Call& c) {
  if (!Arity(c, 0, 0)) return;
  int stb = 0;
  if (c.ctx.errors.Size() > 0) stb |= 0x04;       // error queue not empty
  if ((c.ctx.esr & c.ctx.ese) != 0) stb |= 0x20;  // event status summary
  if ((stb & c.ctx.sre) != 0) stb |= 0x40;        // master summary
  c.reply = Nr1(stb);
}

void TstQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = c.ctx.inst.SelfTest() ? "0" : "1";
}

void Wai(Call& c) {
  Arity(c, 0, 0);
}

void ErrorNext(Call& c) {
  if (!Arity(c, 0, 0)) return;
  const auto e = c.ctx.errors.Pop();
  c.reply = e ? FormatError(*e) : FormatError({0, {}});
}

void ErrorCount(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(static_cast<long long>(c.ctx.errors.Size()));
}

void ErrorAll(Call& c) {
  if (!Arity(c, 0, 0)) return;
  std::string all;
  while (const auto e = c.ctx.errors.Pop()) all += (all.empty() ? "" : ",") + FormatError(*e);
  c.reply = all.empty() ? FormatError({0, {}}) : all;
}

void Version(Call& c) {
  if (Arity(c, 0, 0)) c.reply = "1999.0";
}

constexpr Command kCommands[] = {
    {"*IDN", nullptr, &Idn},
    {"*RST", &Rst, nullptr},
    {"*CLS", &Cls, nullptr},
    {"*ESE", &Ese, &EseQ},
    {"*ESR", nullptr, &EsrQ},
    {"*OPC", &Opc, &OpcQ},
    {"*SRE", &Sre, &SreQ},
    {"*STB", nullptr, &StbQ},
    {"*TST", nullptr, &TstQ},
    {"*WAI", &Wai, nullptr},
    {"SYSTem:ERRor[:NEXT]", nullptr, &ErrorNext},
    {"SYSTem:ERRor:COUNt", nullptr, &ErrorCount},
    {"SYSTem:ERRor:ALL", nullptr, &ErrorAll},
    {"SYSTem:VERSion", nullptr, &Version},
};

}  // namespace

std::span<const Command> CommonCommands() {
  return kCommands;
}

}  // namespace kolvane::scpi
