// docs/scpi-commands.md, the manual page's source, against the command
// table the sessions look headers up in: every command and query it lists
// is there, and every one there is listed.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "scpi/session.h"

namespace kolvane::scpi {
namespace {

// "PATTERN" for a command, "PATTERN?" for a query, as the table writes them.
std::set<std::string> TableForms() {
  std::set<std::string> forms;
  for (const Command* c : CommandSet().Commands()) {
    if (c->set != nullptr) forms.insert(c->pattern);
    if (c->query != nullptr) forms.insert(std::string(c->pattern) + "?");
  }
  return forms;
}

// The first cell of a table row, whose escaped bars are no cell's end.
std::string FirstCell(const std::string& row) {
  std::string cell;
  for (std::size_t i = 1; i < row.size() && row[i] != '|'; ++i) {
    if (row[i] == '\\' && i + 1 < row.size()) ++i;
    cell += row[i];
  }
  return cell;
}

void Replace(std::string& s, const std::string& from, const std::string& to) {
  if (const auto at = s.find(from); at != std::string::npos) s.replace(at, from.size(), to);
}

// The forms the tables' first cells list: `HEADER params`, `HEADER?`, and
// `?` for the query of the header before it. INPut<n> is the table's INPut#;
// MEASure's <function> stands for each function of CONFigure.
std::set<std::string> DocumentedForms(std::istream& md) {
  std::set<std::string> forms;
  std::set<std::string> measure;
  std::string row;
  while (std::getline(md, row)) {
    if (row.rfind("| `", 0) != 0) continue;
    const std::string cell = FirstCell(row);
    std::string header;
    for (std::size_t open = cell.find('`'), close = 0;
         open != std::string::npos && (close = cell.find('`', open + 1)) != std::string::npos;
         open = cell.find('`', close + 1)) {
      const std::string span = cell.substr(open + 1, close - open - 1);
      const std::string head = span.substr(0, span.find(' '));
      const bool query = head.back() == '?';
      if (head != "?") header = query ? head.substr(0, head.size() - 1) : head;
      Replace(header, "<n>", "#");
      if (header.find("<function>") != std::string::npos) {
        measure.insert(header);
      } else {
        forms.insert(query ? header + "?" : header);
      }
    }
  }
  const std::string configure = "CONFigure[:SCALar]:";
  for (std::string pattern : measure) {
    for (const std::string& f : std::set<std::string>(forms)) {
      if (f.rfind(configure, 0) != 0 || f.back() == '?') continue;
      std::string m = pattern;
      Replace(m, "<function>", f.substr(configure.size()));
      forms.insert(m + "?");
    }
  }
  return forms;
}

TEST(ScpiCommandsDoc, ListsTheCommandTable) {
  std::ifstream md(KOLVANE_COMMANDS_MD);
  ASSERT_TRUE(md) << KOLVANE_COMMANDS_MD;
  const std::set<std::string> documented = DocumentedForms(md);
  const std::set<std::string> table = TableForms();
  for (const std::string& f : documented) {
    EXPECT_TRUE(table.count(f)) << f << " is documented but not in the command table";
  }
  for (const std::string& f : table) {
    EXPECT_TRUE(documented.count(f)) << f << " is in the command table but not documented";
  }
}

}  // namespace
}  // namespace kolvane::scpi
