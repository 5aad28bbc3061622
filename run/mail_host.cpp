#include "run/mail_host.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/net.h"

namespace vantrel::run {

namespace {

// Host lookups a stop left running on their own threads. A system resolver
// gives up after its own time-outs, so they end; past this many the lookup
// runs on the caller's thread rather than start yet another.
constexpr int kMaxAbandonedLookups = 4;
std::atomic<int> abandoned_lookups{0};

struct PendingLookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  bool found = false;
  std::uint32_t address = 0;
};

bool ResolveHere(platform::Network& network, const std::string& host, std::uint32_t* address) {
  platform::SocketsLease lease(network);
  return lease.held() && network.ResolveHost(host, address);
}

enum class Resolved { kFound, kUnknown, kStopped };

// The system resolver cannot be interrupted, so it runs on a short-lived
// thread while this one waits in slices and looks at stopped in between.
Resolved ResolveUnlessStopped(platform::Network& network, const std::string& host, const dns::StopCheck& stopped,
                              std::uint32_t* address) {
  if (!stopped || abandoned_lookups.load() >= kMaxAbandonedLookups) {
    return ResolveHere(network, host, address) ? Resolved::kFound : Resolved::kUnknown;
  }
  auto pending = std::make_shared<PendingLookup>();
  std::thread worker([&network, host, pending] {
    std::uint32_t found_address = 0;
    bool found = ResolveHere(network, host, &found_address);
    std::lock_guard<std::mutex> lock(pending->mutex);
    pending->done = true;
    pending->found = found;
    pending->address = found_address;
    if (pending->abandoned) --abandoned_lookups;
    pending->finished.notify_all();
  });
  std::unique_lock<std::mutex> lock(pending->mutex);
  while (!pending->done) {
    if (stopped()) {
      pending->abandoned = true;
      ++abandoned_lookups;
      lock.unlock();
      worker.detach();
      return Resolved::kStopped;
    }
    pending->finished.wait_for(lock, std::chrono::milliseconds(dns::kWaitSliceMs));
  }
  bool found = pending->found;
  *address = pending->address;
  lock.unlock();
  worker.join();
  return found ? Resolved::kFound : Resolved::kUnknown;
}

// Names with blanks, control characters or NUL are no host names; the
// resolver would read them cut short.
bool CanBeAHostName(const std::string& name) {
  if (name.empty()) return false;  // the "no mail here" record, or this computer on some systems
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
  if (dns::ReadMxReply(reply, records) != dns::kLookupOk) return host;
  dns::MxRecord* chosen = ChoosePreferredMx(*records);
  if (chosen != nullptr && CanBeAHostName(chosen->exchange)) {
    std::uint32_t address = 0;
    switch (ResolveUnlessStopped(network, chosen->exchange, stopped, &address)) {
      case Resolved::kFound:
        chosen->address = platform::AddressText(address).substr(0, dns::kMaxAddressLength);
        break;
      case Resolved::kUnknown:
        break;
      case Resolved::kStopped:
        host.outcome = MailHost::Outcome::kStopped;
        return host;
    }
  }
  if (!chosen || chosen->address.empty()) {
    host.outcome = MailHost::Outcome::kNoUsableRecord;
    return host;
  }
  host.outcome = MailHost::Outcome::kFound;
  host.address = chosen->address;
  return host;
}

}  // namespace vantrel::run
