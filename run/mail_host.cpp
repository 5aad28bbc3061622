#include "run/mail_host.h"

#include <optional>

#include "platform/net.h"
#include "run/unless_stopped.h"

namespace vantrel::run {

namespace {

// The DNS response code for a name that does not exist (RFC 1035).
constexpr int kNameError = 3;

bool ResolveHere(platform::Network& network, const std::string& host, std::uint32_t* address) {
  platform::SocketsLease lease(network);
  return lease.held() && network.ResolveHost(host, address);
}

// Names with blanks, control characters or NUL are no host names; the
// resolver would read them cut short.
bool CanBeAHostName(const std::string& name) {
  if (name.empty()) return false;  // the root, or this computer on some systems
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 127) return false;
  }
  return true;
}

}  // namespace

MailHost LookUpMailHost(platform::Network& network, const std::string& dns_server, const std::string& domain,
                        int dns_wait_ms, dns::MxRecordList* records, const dns::StopCheck& stopped) {
  MailHost host;
  // One start of the sockets library for the exchange and the host lookup.
  platform::SocketsLease lease(network);
  if (!lease.held()) return host;
  dns::Bytes query = dns::BuildQuery(domain, dns::kTypeMx, dns::kClassIn);
  dns::Bytes reply = dns::ExchangeQuery(network, dns_server, query, dns_wait_ms, stopped);
  if (reply.empty()) {
    host.outcome = (stopped && stopped()) ? MailHost::Outcome::kStopped : MailHost::Outcome::kNoAnswer;
    return host;
  }
  std::int32_t read = dns::ReadMxReply(reply, records);
  if (read != dns::kLookupOk) {
    if (read == dns::ResultForResponseCode(kNameError)) host.outcome = MailHost::Outcome::kNoSuchDomain;
    return host;
  }
  dns::MxRecord* chosen = ChoosePreferredMx(*records);
  if (chosen == nullptr) {
    host.outcome = MailHost::Outcome::kNoMx;
    return host;
  }
  // The root as the exchange says "no mail here"; a null MX has preference 0.
  if (chosen->exchange.empty() && chosen->preference == 0) {
    host.outcome = MailHost::Outcome::kNullMx;
    return host;
  }
  if (CanBeAHostName(chosen->exchange)) {
    const std::string name = chosen->exchange;
    std::optional<std::optional<std::uint32_t>> resolved = CallUnlessStopped<std::optional<std::uint32_t>>(
        [&network, name]() -> std::optional<std::uint32_t> {
          std::uint32_t address = 0;
          if (!ResolveHere(network, name, &address)) return std::nullopt;
          return address;
        },
        stopped);
    if (!resolved) {
      host.outcome = MailHost::Outcome::kStopped;
      return host;
    }
    if (*resolved) chosen->address = platform::AddressText(**resolved).substr(0, dns::kMaxAddressLength);
  }
  if (chosen->address.empty()) {
    host.outcome = MailHost::Outcome::kNoHostAddress;
    return host;
  }
  host.outcome = MailHost::Outcome::kFound;
  host.address = chosen->address;
  return host;
}

}  // namespace vantrel::run
