// Finding the mail host for a domain: one MX lookup through the configured
// DNS server, then the preferred record.
#pragma once

#include <cstdint>
#include <string>

#include "dns/dns_codec.h"
#include "platform/network.h"
#include "run/mx_choice.h"

namespace vantrel::run {

struct MailHost {
  enum class Outcome {
    kFound,           // address holds the dotted IPv4 text of the chosen host
    kNoAnswer,        // no datagram came back from the DNS server at all
    kLookupFailed,    // the server reported an error, or the reply could not be read
    kNoUsableRecord,  // no MX record, or the chosen host has no address
  };
  Outcome outcome = Outcome::kLookupFailed;
  std::string address;
};

// Asks dns_server (dotted IPv4 text) through network; records is the run's
// MX record list, reused by every lookup.
MailHost LookUpMailHost(platform::Network& network, const std::string& dns_server, const std::string& domain,
                        int dns_wait_ms, dns::MxRecordList* records);

}  // namespace vantrel::run
