// Parameters and units: a command's parameters coerced to what it takes.
// Each function that checks queues its error and gives nothing when the
// parameter is not one it accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scpi/command.h"

namespace kolvane::scpi {

// MINimum, MAXimum, DEFault: 0, 1, 2; -1 for anything else.
int Special(const Param& p);
// Whether text, in upper case, is the short or long form of a mnemonic
// written as in the tables ("INTernal").
bool IsWord(const std::string& text, const char* word);
// The upper-case letters of such a mnemonic: "INT".
std::string ShortForm(const char* word);
std::string Nr1(long long v);

// Channel list numbers (1 A, 2 B, 3 C) and the protocol's channel codes;
// 0 for any other.
int ChannelNumber(std::uint32_t code);
std::uint32_t ChannelCode(int number);

// Between min and max parameters, else -109 or -108.
bool Arity(Call& c, std::size_t min, std::size_t max);
// Parameter i as the index of a discrete number, by its unit suffix.
std::optional<int> Pick(Call& c, std::size_t i, const Values& v);
// Parameter i as the index of one of the words; DEF gives def.
std::optional<int> Word(Call& c, std::size_t i, std::span<const char* const> words, int def);
// Parameter i as a plain number within [min, max]; MIN, MAX, DEF give those.
std::optional<double> Ranged(Call& c, std::size_t i, double min, double max, double def);
// Parameter i as ON or OFF, or a number.
std::optional<bool> Switch(Call& c, std::size_t i);
// A discrete number's query: the value at index, or with MIN, MAX or DEF
// after the "?" that value.
void Reply(Call& c, const Values& v, int index);
// The channel lists from parameter `from` on, each channel 1 to 3.
bool Channels(Call& c, std::size_t from, std::vector<int>& out);
// INPut<n>'s channel code: A for 1, C for 3.
std::optional<std::uint32_t> InputChannel(Call& c);

}  // namespace kolvane::scpi
