#include "run/mail_host.h"

#include "dns/mx_lookup.h"

namespace vantrel::run {

MailHost LookUpMailHost(const std::string& domain, int dns_wait_ms, dns::MxRecordList* records) {
  MailHost host;
  dns::Bytes query = dns::BuildQuery(domain, dns::kTypeMx, dns::kClassIn);
  dns::ExchangeReply reply = dns::ExchangeQuery(query, false, dns_wait_ms);
  if (dns::ReadMxReply(reply, false, records) != dns::kLookupOk) return host;
  const dns::MxRecord* chosen = ChoosePreferredMx(*records);
  if (!chosen || chosen->address.empty()) {
    host.outcome = MailHost::Outcome::kNoUsableRecord;
    return host;
  }
  host.outcome = MailHost::Outcome::kFound;
  host.address = chosen->address;
  return host;
}

}  // namespace vantrel::run
