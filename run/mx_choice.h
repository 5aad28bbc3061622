// Which of a domain's mail exchangers the run sends its probe to.
#pragma once

#include "dns/dns_codec.h"

namespace vantrel::run {

// The record with the lowest preference; among equal preferences the one
// whose exchange name comes first byte by byte. Null for an empty list.
const dns::MxRecord* ChoosePreferredMx(const dns::MxRecordList& records);
dns::MxRecord* ChoosePreferredMx(dns::MxRecordList& records);

}  // namespace vantrel::run
