#include "scpi/command_tree.h"

namespace kolvane::scpi {

CommandTree::CommandTree(std::initializer_list<std::span<const Command>> tables) {
  for (const auto& table : tables) {
    for (const Command& c : table) rows_.push_back({ParsePattern(c.pattern), &c});
  }
}

std::vector<CommandTree::PatternNode> CommandTree::ParsePattern(std::string_view p) {
  std::vector<PatternNode> nodes;
  bool optional = false;
  PatternNode n;
  const auto flush = [&] {
    if (n.longName.empty()) return;
    n.optional = optional;
    nodes.push_back(n);
    n = {};
  };
  for (char c : p) {
    if (c == '[') {
      flush();
      optional = true;
    } else if (c == ']') {
      flush();
      optional = false;
    } else if (c == ':') {
      flush();
    } else if (c == '#') {
      n.suffixed = true;
    } else {
      if ((c >= 'A' && c <= 'Z') || c == '*') n.shortName += c;
      n.longName += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
  }
  flush();
  return nodes;
}

bool CommandTree::MatchFrom(const std::vector<Node>& h, std::size_t i,
                            const std::vector<PatternNode>& p, std::size_t j, Match& m) {
  if (j == p.size()) return i == h.size();
  if (p[j].optional && MatchFrom(h, i, p, j + 1, m)) return true;
  if (i == h.size()) return false;
  const Node& n = h[i];
  if (n.name != p[j].shortName && n.name != p[j].longName) return false;
  Match next = m;
  if (p[j].suffixed) {
    next.suffix = n.suffix.value_or(1);
  } else if (n.suffix && *n.suffix != 1) {
    next.badSuffix = true;
  }
  if (!MatchFrom(h, i + 1, p, j + 1, next)) return false;
  m = next;
  return true;
}

std::optional<CommandTree::Match> CommandTree::Resolve(const Header& h,
                                                       std::vector<Node>& path) const {
  std::vector<std::vector<Node>> tries;
  if (!h.common && !h.absolute && !path.empty()) {
    std::vector<Node> joined = path;
    joined.insert(joined.end(), h.nodes.begin(), h.nodes.end());
    tries.push_back(std::move(joined));
  }
  tries.push_back(h.nodes);
  for (const auto& nodes : tries) {
    for (const Compiled& c : rows_) {
      Match m;
      if (!MatchFrom(nodes, 0, c.nodes, 0, m)) continue;
      if ((h.query ? c.command->query : c.command->set) == nullptr) continue;
      if (!h.common) path.assign(nodes.begin(), nodes.end() - 1);
      m.command = c.command;
      return m;
    }
  }
  return std::nullopt;
}

std::vector<const Command*> CommandTree::Commands() const {
  std::vector<const Command*> out;
  for (const Compiled& c : rows_) out.push_back(c.command);
  return out;
}

}  // namespace kolvane::scpi
