#include "run/accept_all_checks.h"

#include <random>

#include "text/ascii_case.h"

namespace vantrel::run {

namespace {

constexpr char kLocalPartChars[] = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::size_t kLocalPartLength = 20;

}  // namespace

const char* AcceptAllWord(AcceptAll result) {
  switch (result) {
    case AcceptAll::kYes:
      return "yes";
    case AcceptAll::kNo:
      return "no";
    case AcceptAll::kUnknown:
      return "unknown";
    case AcceptAll::kPending:     // not known yet when the row is written
    case AcceptAll::kNotChecked:
      break;
  }
  return "";
}

std::string RandomLocalPart() {
  // A guessable name could be a real mailbox that somebody set up to be
  // found; std::random_device reads the system's own source.
  std::random_device source;
  constexpr std::uint32_t kChoices = sizeof kLocalPartChars - 1;
  // The largest multiple of the choices below 2^32: values above it would
  // make the first letters likelier than the rest.
  constexpr std::uint32_t kFair = 0xFFFFFFFFu - (0xFFFFFFFFu % kChoices) - 1;
  std::string local;
  while (local.size() < kLocalPartLength) {
    std::uint32_t value = source();
    if (value > kFair) continue;
    local += kLocalPartChars[value % kChoices];
  }
  return local;
}

void AcceptAllChecks::GoodLine(const std::string& domain, const std::string& mail_host, bool host_refused_us) {
  if (!enabled_) return;
  auto [entry, first] = domains_.try_emplace(text::AsciiLower(domain));
  ++entry->second.good_lines;
  if (!first) return;
  // A host that turned this computer away would only say so again.
  if (host_refused_us) {
    entry->second.result = AcceptAll::kUnknown;
    return;
  }
  std::string local = RandomLocalPart();
  while (!used_local_parts_.insert(local).second) local = RandomLocalPart();
  queue_.push_back(AcceptAllJob{domain, local + "@" + domain, mail_host});
}

std::optional<AcceptAllJob> AcceptAllChecks::NextJob() {
  if (queue_.empty()) return std::nullopt;
  AcceptAllJob job = queue_.front();
  queue_.pop_front();
  return job;
}

std::vector<LineDecision> AcceptAllChecks::Finished(const std::string& domain, AcceptAll result) {
  Domain& entry = domains_[text::AsciiLower(domain)];
  entry.result = result;
  std::vector<LineDecision> released;
  released.swap(entry.held);
  for (LineDecision& decision : released) decision.accept_all = AcceptAllWord(result);
  return released;
}

AcceptAll AcceptAllChecks::ResultFor(const std::string& domain) const {
  auto found = domains_.find(text::AsciiLower(domain));
  return found == domains_.end() ? AcceptAll::kNotChecked : found->second.result;
}

bool AcceptAllChecks::Hold(const std::string& domain, const LineDecision& decision) {
  auto found = domains_.find(text::AsciiLower(domain));
  if (found == domains_.end() || found->second.result != AcceptAll::kPending) return false;
  found->second.held.push_back(decision);
  return true;
}

std::vector<LineDecision> AcceptAllChecks::ReleaseAll() {
  std::vector<LineDecision> released;
  for (auto& [name, entry] : domains_) {
    for (LineDecision& decision : entry.held) {
      decision.accept_all = AcceptAllWord(AcceptAll::kUnknown);
      released.push_back(std::move(decision));
    }
    entry.held.clear();
  }
  return released;
}

std::int32_t AcceptAllChecks::GoodAtAcceptAll() const {
  std::int32_t count = 0;
  for (const auto& [name, entry] : domains_) {
    if (entry.result == AcceptAll::kYes) count += entry.good_lines;
  }
  return count;
}

}  // namespace vantrel::run
