#include "scpi/parser.h"

#include <charconv>
#include <cstdint>

namespace kolvane::scpi {

namespace {

// Channel lists hold a few channels; a range beyond this is no channel list.
constexpr std::size_t kMaxChannels = 16;

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}
bool IsPrintable(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 0x20 && u < 0x7F) || c == '\t';
}
bool IsAlpha(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool End() const { return i_ >= s_.size(); }
  char Peek(std::size_t ahead = 0) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }
  char Take() { return s_[i_++]; }
  void SkipSpace() {
    while (!End() && IsSpace(Peek())) ++i_;
  }
  std::size_t Pos() const { return i_; }
  void Rewind(std::size_t pos) { i_ = pos; }
  std::string_view From(std::size_t start) const { return s_.substr(start, i_ - start); }

 private:
  std::string_view s_;
  std::size_t i_ = 0;
};

// A mnemonic: a letter, then letters, digits or underscores.
std::string TakeMnemonic(Reader& r) {
  std::string m;
  while (!r.End() && (IsAlpha(r.Peek()) || IsDigit(r.Peek()) || r.Peek() == '_')) {
    m += Upper(r.Take());
  }
  return m;
}

// Splits trailing digits off as the numeric suffix.
Node ToNode(const std::string& m) {
  std::size_t end = m.size();
  while (end > 0 && IsDigit(m[end - 1])) --end;
  Node n{m.substr(0, end), std::nullopt};
  if (end < m.size()) {
    int v = 0;
    for (std::size_t i = end; i < m.size(); ++i) v = v > 100000 ? v : v * 10 + (m[i] - '0');
    n.suffix = v;
  }
  return n;
}

bool ParseHeader(Reader& r, Header& h) {
  if (r.Peek() == '*') {
    r.Take();
    h.common = true;
    std::string m = "*";
    while (!r.End() && IsAlpha(r.Peek())) m += Upper(r.Take());
    if (m.size() == 1) return false;
    h.nodes.push_back({m, std::nullopt});
  } else {
    if (r.Peek() == ':') {
      r.Take();
      h.absolute = true;
    }
    for (;;) {
      if (!IsAlpha(r.Peek())) return false;
      h.nodes.push_back(ToNode(TakeMnemonic(r)));
      if (r.Peek() != ':') break;
      r.Take();
    }
  }
  if (r.Peek() == '?') {
    r.Take();
    h.query = true;
  }
  return r.End() || IsSpace(r.Peek());
}

bool ParseString(Reader& r, Param& p) {
  const char quote = r.Take();
  p.kind = ParamKind::kString;
  for (;;) {
    if (r.End()) return false;
    const char c = r.Take();
    if (c == quote) {
      if (r.Peek() != quote) return true;
      r.Take();  // a doubled quote stands for itself
    }
    p.text += c;
  }
}

std::optional<int> TakeInteger(Reader& r) {
  if (!IsDigit(r.Peek())) return std::nullopt;
  int v = 0;
  while (IsDigit(r.Peek())) {
    const int d = r.Take() - '0';
    if (v <= 100000) v = v * 10 + d;  // beyond any channel; no overflow
  }
  return v;
}

bool ParseChannels(Reader& r, Param& p) {
  r.Take();  // (
  r.Take();  // @
  p.kind = ParamKind::kChannels;
  for (;;) {
    r.SkipSpace();
    const auto first = TakeInteger(r);
    if (!first) return false;
    int last = *first;
    r.SkipSpace();
    if (r.Peek() == ':') {
      r.Take();
      r.SkipSpace();
      const auto to = TakeInteger(r);
      if (!to) return false;
      last = *to;
      r.SkipSpace();
    }
    const int step = last >= *first ? 1 : -1;
    for (int c = *first;; c += step) {
      if (p.channels.size() >= kMaxChannels) return false;
      p.channels.push_back(c);
      if (c == last) break;
    }
    const char c = r.End() ? '\0' : r.Take();
    if (c == ')') return true;
    if (c != ',') return false;
  }
}

// #H, #Q and #B integers.
bool ParseNonDecimal(Reader& r, Param& p) {
  r.Take();  // #
  const char base = Upper(r.End() ? '\0' : r.Take());
  const int radix = base == 'H' ? 16 : base == 'Q' ? 8 : base == 'B' ? 2 : 0;
  if (radix == 0) return false;
  std::uint64_t v = 0;
  int digits = 0;
  for (;;) {
    const char c = Upper(r.Peek());
    const int d = IsDigit(c) ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : radix;
    if (d >= radix) break;
    r.Take();
    if (v < (std::uint64_t{1} << 52))
      v = v * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
    ++digits;
  }
  p.kind = ParamKind::kNumber;
  p.number = static_cast<double>(v);
  return digits > 0;
}

bool ParseDecimal(Reader& r, Param& p) {
  bool negative = false;
  if (r.Peek() == '+' || r.Peek() == '-') negative = r.Take() == '-';
  const std::size_t digitsStart = r.Pos();
  int mantissa = 0;
  while (IsDigit(r.Peek())) {
    r.Take();
    ++mantissa;
  }
  if (r.Peek() == '.') {
    r.Take();
    while (IsDigit(r.Peek())) {
      r.Take();
      ++mantissa;
    }
  }
  if (mantissa == 0) return false;
  std::string text(r.From(digitsStart));
  // An exponent, with white space allowed before the E.
  const std::size_t mark = r.Pos();
  r.SkipSpace();
  if (Upper(r.Peek()) == 'E' &&
      (IsDigit(r.Peek(1)) || ((r.Peek(1) == '+' || r.Peek(1) == '-') && IsDigit(r.Peek(2))))) {
    r.Take();
    text += 'e';
    if (r.Peek() == '+' || r.Peek() == '-') text += r.Take();
    while (IsDigit(r.Peek())) text += r.Take();
  } else {
    r.Rewind(mark);
  }
  double v = 0.0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ptr != text.data() + text.size()) {
    if (res.ec != std::errc::result_out_of_range) return false;
    // Too large or too small for a double: a value out of every range.
    v = text.find("e-") != std::string::npos ? 0.0 : 1e308;
  }
  p.kind = ParamKind::kNumber;
  p.number = negative ? -v : v;
  return true;
}

bool ParseParam(Reader& r, Param& p, Error& error) {
  const char c = r.Peek();
  bool ok = false;
  if (c == '"' || c == '\'') {
    ok = ParseString(r, p);
  } else if (c == '(' && r.Peek(1) == '@') {
    ok = ParseChannels(r, p);
  } else if (c == '#') {
    ok = ParseNonDecimal(r, p);
  } else if (IsDigit(c) || c == '+' || c == '-' || c == '.') {
    ok = ParseDecimal(r, p);
    if (ok) {
      // A unit may follow, after white space.
      const std::size_t before = r.Pos();
      r.SkipSpace();
      if (IsAlpha(r.Peek())) {
        while (IsAlpha(r.Peek())) p.suffix += Upper(r.Take());
      } else if (r.Pos() != before && !r.End() && r.Peek() != ',') {
        ok = false;
      }
    }
  } else if (IsAlpha(c)) {
    p.kind = ParamKind::kCharacter;
    p.text = TakeMnemonic(r);
    ok = true;
  }
  if (!ok) error = {err::kSyntax, {}};
  return ok;
}

}  // namespace

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::vector<std::string_view> SplitUnits(std::string_view line) {
  std::vector<std::string_view> units;
  std::size_t start = 0;
  char quote = 0;
  bool inList = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote reopens at once
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '(') {
      inList = true;
    } else if (c == ')') {
      inList = false;
    } else if (c == ';' && !inList) {
      units.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  units.push_back(line.substr(start));
  return units;
}

bool IsBlank(std::string_view unit) {
  for (char c : unit) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

std::optional<Unit> ParseUnit(std::string_view text, Error& error) {
  // Bytes that are not printable ASCII are refused outside strings.
  char quote = 0;
  for (char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (!IsPrintable(c)) {
      error = {err::kInvalidCharacter, {}};
      return std::nullopt;
    }
  }

  Reader r(text);
  r.SkipSpace();
  Unit u;
  if (!ParseHeader(r, u.header)) {
    error = {err::kSyntax, {}};
    return std::nullopt;
  }
  r.SkipSpace();
  if (r.End()) return u;
  for (;;) {
    Param p;
    if (!ParseParam(r, p, error)) return std::nullopt;
    u.params.push_back(std::move(p));
    r.SkipSpace();
    if (r.End()) return u;
    if (r.Take() != ',') {
      error = {err::kSyntax, {}};
      return std::nullopt;
    }
    r.SkipSpace();
  }
}

}  // namespace kolvane::scpi
