#pragma once
// The converter's lines kept instead of printed, and the sorted lines of
// output whose order may differ.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Messages.h"

namespace prt::test {

inline std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A run's lines: standard output and standard error.
struct KeptLines {
  std::ostringstream out, err;
  LineReport report{out, err};
};

}  // namespace prt::test
