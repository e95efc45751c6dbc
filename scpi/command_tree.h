// The command tree: headers matched against the tables' patterns, short or
// long form, optional nodes left out, below the current path or from the
// root.
#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scpi/command.h"
#include "scpi/parser.h"

namespace kolvane::scpi {

class CommandTree {
 public:
  explicit CommandTree(std::initializer_list<std::span<const Command>> tables);

  struct Match {
    const Command* command = nullptr;
    int suffix = 1;          // INPut<n>'s n, 1 when left out
    bool badSuffix = false;  // a suffix other than 1 on a node that takes none
  };
  // The row with the header's form (command or query), tried below path
  // first, then from the root. On a match path becomes the header's nodes
  // but its leaf, as the language says (common commands keep it).
  std::optional<Match> Resolve(const Header& h, std::vector<Node>& path) const;

  // Every row, in the order they are tried.
  std::vector<const Command*> Commands() const;

 private:
  struct PatternNode {
    std::string shortName;  // the upper-case letters of the mnemonic
    std::string longName;
    bool optional = false;
    bool suffixed = false;  // takes a numeric suffix (INPut<n>)
  };
  struct Compiled {
    std::vector<PatternNode> nodes;
    const Command* command;
  };
  static std::vector<PatternNode> ParsePattern(std::string_view p);
  static bool MatchFrom(const std::vector<Node>& h, std::size_t i,
                        const std::vector<PatternNode>& p, std::size_t j, Match& m);

  std::vector<Compiled> rows_;
};

}  // namespace kolvane::scpi
