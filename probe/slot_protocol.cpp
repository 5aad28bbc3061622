#include "probe/slot_protocol.h"

#include "probe/shared_state.h"

namespace vantrel {

namespace {

// The widest mail host text a job carries: dotted IPv4.
constexpr std::size_t kLongestMailHost = 15;

}  // namespace

std::string TrimSlotText(const std::string& raw) {
  auto is_pad = [](char c) { return c == ' ' || c == '\0'; };
  std::size_t begin = 0;
  std::size_t end = raw.size();
  while (begin < end && is_pad(raw[begin])) ++begin;
  while (end > begin && is_pad(raw[end - 1])) --end;
  return raw.substr(begin, end - begin);
}

std::string EncodeJob(const std::string& address, const std::string& mail_host) {
  return address + kJobSeparator + mail_host;
}

std::optional<JobText> DecodeJob(const std::string& value) {
  std::size_t separator = value.find(kJobSeparator);
  if (separator == std::string::npos) return std::nullopt;
  return JobText{value.substr(0, separator), value.substr(separator + 1)};
}

std::optional<Uncheckable> UncheckableReason(const std::string& address) {
  if (address.size() > kSlotSize - 1 - kLongestMailHost) return Uncheckable{"Address too long to check.", true};
  if (address[0] == ':') return Uncheckable{"Address begins with a colon."};
  if (address.find(kJobSeparator) != std::string::npos) return Uncheckable{"Address holds a control character."};
  return std::nullopt;
}

bool HoldsVerdict(const std::string& raw) { return !raw.empty() && raw[0] == ':'; }

std::string EncodeVerdict(const std::string& code, const std::string& message) {
  return ": " + code + " " + message;
}

Verdict DecodeVerdict(const std::string& raw) {
  Verdict verdict;
  verdict.text = TrimSlotText(raw.substr(1));
  const std::size_t blank = verdict.text.find(' ');
  verdict.code = verdict.text.substr(0, blank);
  verdict.message = blank == std::string::npos ? std::string() : verdict.text.substr(blank + 1);
  return verdict;
}

}  // namespace vantrel
