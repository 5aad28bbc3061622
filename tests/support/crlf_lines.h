// The lines of a file the program wrote with CR LF line ends; a final CR LF
// ends the last line rather than starting an empty one. Standard library
// only, so that the Windows test driver shares it too.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace vantrel::testing {

inline std::vector<std::string> CrLfLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// For files whose line order follows the order the verdicts came in.
inline std::vector<std::string> SortedCrLfLines(const std::string& content) {
  std::vector<std::string> lines = CrLfLines(content);
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace vantrel::testing
