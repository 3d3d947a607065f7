// The plug-in's pattern text in the form the peer engines take: a POSIX class
// written outside brackets ("[:digit:]") becomes a bracket expression
// ("[[:digit:]]"). Used by the benchmarks that run the same patterns on peers.
#pragma once

#include <string>

namespace nimbra_bench {

inline std::string ForPeers(const std::string& p) {
  std::string out;
  int depth = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '[' && depth == 0 && p.compare(i, 2, "[:") == 0) {
      const size_t close = p.find(":]", i + 2);
      out += "[" + p.substr(i, close + 2 - i) + "]";
      i = close + 1;
      continue;
    }
    if (p[i] == '[') ++depth;
    if (p[i] == ']' && depth > 0) --depth;
    out += p[i];
  }
  return out;
}

}  // namespace nimbra_bench
