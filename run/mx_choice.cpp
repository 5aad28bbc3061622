#include "run/mx_choice.h"

#include <algorithm>

namespace vantrel::run {

namespace {

// Host names are compared as unsigned bytes, whatever the signedness of char.
bool NameBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

}  // namespace

const dns::MxRecord* ChoosePreferredMx(const dns::MxRecordList& records) {
  const dns::MxRecord* best = nullptr;
  for (const dns::MxRecord& record : records) {
    if (!best || record.preference < best->preference ||
        (record.preference == best->preference && NameBefore(record.exchange, best->exchange))) {
      best = &record;
    }
  }
  return best;
}

dns::MxRecord* ChoosePreferredMx(dns::MxRecordList& records) {
  return const_cast<dns::MxRecord*>(ChoosePreferredMx(static_cast<const dns::MxRecordList&>(records)));
}

}  // namespace vantrel::run
