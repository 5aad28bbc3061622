// The accept-all check: many mail servers take RCPT TO for any local part
// and bounce later, so their "good" says nothing about a subscriber. The
// first time a domain has a good address in a run, one address at it that
// cannot exist is probed as one more job; what its server says marks the
// domain. The check never changes a line's verdict or the result list.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "run/run_observer.h"

namespace vantrel::run {

enum class AcceptAll {
  kNotChecked,  // no check was made (the report leaves the field empty)
  kPending,     // queued or being probed
  kYes,         // the address that cannot exist was accepted
  kNo,          // it was refused as a mailbox: "good" means something here
  kUnknown,     // anything else
};

// The report's word: "yes", "no", "unknown", or empty.
const char* AcceptAllWord(AcceptAll result);

// 20 letters and digits from the system's cryptographic random source.
std::string RandomLocalPart();

struct AcceptAllJob {
  std::string domain;     // as the first good line wrote it
  std::string address;    // a local part that cannot exist, "@", the domain
  std::string mail_host;  // the host that judged the good line
};

class AcceptAllChecks {
 public:
  explicit AcceptAllChecks(bool enabled) : enabled_(enabled) {}
  bool enabled() const { return enabled_; }

  // A line of domain was judged good by mail_host: the domain's first good
  // line queues its check, unless mail_host has refused this computer.
  void GoodLine(const std::string& domain, const std::string& mail_host, bool host_refused_us);
  std::optional<AcceptAllJob> NextJob();
  bool Queued() const { return !queue_.empty(); }
  // The check of domain ended; returns the decisions held for it, with
  // their field filled.
  std::vector<LineDecision> Finished(const std::string& domain, AcceptAll result);

  AcceptAll ResultFor(const std::string& domain) const;
  // A good line's decision waits while its domain's check is pending, so
  // that its report row can say what its "good" is worth.
  bool Hold(const std::string& domain, const LineDecision& decision);
  // Every decision still held, for a run that ends before its checks did.
  std::vector<LineDecision> ReleaseAll();
  // Good lines at domains whose servers accept any address.
  std::int32_t GoodAtAcceptAll() const;

 private:
  struct Domain {
    AcceptAll result = AcceptAll::kPending;
    std::int32_t good_lines = 0;
    std::vector<LineDecision> held;
  };
  const bool enabled_;
  std::map<std::string, Domain> domains_;  // by the domain in lower case
  std::deque<AcceptAllJob> queue_;
  std::set<std::string> used_local_parts_;
};

}  // namespace vantrel::run
