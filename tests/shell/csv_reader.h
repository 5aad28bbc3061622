// A strict reader of RFC 4180 text, as a spreadsheet would take it: records
// end with CR LF, a quoted field may hold commas, quotes (doubled), CR and
// LF. Anything else (a bare quote, text after a closing quote, a record cut
// off) makes it give up.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantrel::testing {

using CsvRows = std::vector<std::vector<std::string>>;

inline std::optional<CsvRows> ReadCsv(const std::string& text) {
  CsvRows rows;
  std::vector<std::string> record;
  std::string field;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return std::nullopt;
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field += text[i];
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
        if (text[i] == '"') return std::nullopt;
        field += text[i++];
      }
    }
    record.push_back(field);
    field.clear();
    if (i < text.size() && text[i] == ',') {
      ++i;
      continue;
    }
    if (text.compare(i, 2, "\r\n") != 0) return std::nullopt;
    i += 2;
    rows.push_back(record);
    record.clear();
  }
  return rows;
}

}  // namespace vantrel::testing
