// The SCPI language's syntax: a program message split into its units, and
// each unit's header and parameters. Knows no command; the dispatcher
// gives them their meaning.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/errors.h"

namespace kolvane::scpi {

struct Node {
  std::string name;           // upper case, without its numeric suffix
  std::optional<int> suffix;  // INPut3 has 3
};

struct Header {
  bool common = false;    // "*IDN": one node with the asterisk
  bool absolute = false;  // a leading colon: from the root
  bool query = false;
  std::vector<Node> nodes;
};

enum class ParamKind { kNumber, kCharacter, kString, kChannels };

struct Param {
  ParamKind kind = ParamKind::kNumber;
  double number = 0.0;
  std::string suffix;  // a number's unit, upper case ("MS", "KHZ")
  std::string text;    // character data in upper case, or a string's content
  std::vector<int> channels;
};

struct Unit {
  Header header;
  std::vector<Param> params;
};

// A line without the CR of a CR LF ending, should the caller have left it.
std::string_view WithoutCr(std::string_view line);

// The units of a line, split at semicolons outside strings and channel lists.
std::vector<std::string_view> SplitUnits(std::string_view line);

// Whether a unit holds nothing but white space.
bool IsBlank(std::string_view unit);

// One unit; nothing, with the error, when its syntax is wrong.
std::optional<Unit> ParseUnit(std::string_view text, Error& error);

}  // namespace kolvane::scpi
