// Finding the mail host for a domain: one MX lookup through the configured
// DNS server, then the preferred record, whose host alone is resolved.
#pragma once

#include <cstdint>
#include <string>

#include "dns/dns_codec.h"
#include "dns/mx_lookup.h"
#include "platform/network.h"
#include "run/mx_choice.h"

namespace vantrel::run {

struct MailHost {
  enum class Outcome {
    kFound,           // address holds the dotted IPv4 text of the chosen host
    kNoAnswer,        // no reply to the query came back from the DNS server
    kNoSuchDomain,    // the server says the domain does not exist
    kLookupFailed,    // the server reported another error, or the reply could not be read
    kNoMx,            // the reply holds no MX record
    kNoHostAddress,   // the chosen host has no address
    kNullMx,          // the domain's one record says it takes no mail (RFC 7505)
    kStopped,         // stopped saw a stop during the wait or the host lookup
  };
  Outcome outcome = Outcome::kLookupFailed;
  std::string address;
};

// Asks dns_server (dotted IPv4 text) through network; records is the run's
// MX record list, reused by every lookup. Only the chosen record's host is
// resolved, and its address stored in that record. stopped is looked at
// between short waits, so a stop ends the lookup within a second; network
// must outlive the process's last lookup, as RealNetwork() does, because a
// host lookup that a stop abandons finishes on its own thread.
MailHost LookUpMailHost(platform::Network& network, const std::string& dns_server, const std::string& domain,
                        int dns_wait_ms, dns::MxRecordList* records, const dns::StopCheck& stopped);

}  // namespace vantrel::run
