// What the targets of the web pages' messages check, shared.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kolvane::fuzz {

// A broken invariant aborts, which libFuzzer reports as a crash.
inline void Expect(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// A message to a page must stay one JSON object.
inline bool JsonObject(const std::string& text) {
  return text.size() >= 2 && text.front() == '{' && text.back() == '}';
}

}  // namespace kolvane::fuzz
