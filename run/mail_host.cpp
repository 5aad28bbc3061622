#include "run/mail_host.h"

#include "dns/mx_lookup.h"

namespace vantrel::run {

MailHost LookUpMailHost(platform::Network& network, const std::string& dns_server, const std::string& domain,
                        int dns_wait_ms, dns::MxRecordList* records) {
  MailHost host;
  // One start of the sockets library for the exchange and the host look-ups.
  platform::SocketsLease lease(network);
  if (!lease.held()) return host;
  dns::Bytes query = dns::BuildQuery(domain, dns::kTypeMx, dns::kClassIn);
  dns::Bytes reply = dns::ExchangeQuery(network, dns_server, query, dns_wait_ms);
  if (reply.empty()) {
    host.outcome = MailHost::Outcome::kNoAnswer;
    return host;
  }
  if (dns::ReadMxReply(network, reply, records) != dns::kLookupOk) return host;
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
