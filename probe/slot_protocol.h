// What passes through a task slot, both ways: the job text the run stores
// for a task, the verdict the task leaves for the run, and the quit signal.
// The run and the tasks both read and write slots only through these.
#pragma once

#include <optional>
#include <string>

namespace vantrel {

inline constexpr char kJobSeparator = '\x01';  // between address and mail host
inline constexpr char kQuitSignal[] = "\x01";

// A slot's value once blanks and NULs are removed from both ends.
std::string TrimSlotText(const std::string& raw);

// A job: the address, code 1, the mail host's address text.
struct JobText {
  std::string address;
  std::string mail_host;
};
std::string EncodeJob(const std::string& address, const std::string& mail_host);
// The job in a trimmed slot value; nothing when it holds no separator.
std::optional<JobText> DecodeJob(const std::string& value);

// Why an address cannot travel whole in a job text, or nothing when it can:
// a slot holds 256 characters, a job that begins with ":" would read as a
// verdict, and a code 1 inside it would split it in the wrong place.
struct Uncheckable {
  std::string text;
  bool too_long = false;
};
std::optional<Uncheckable> UncheckableReason(const std::string& address);

// A verdict begins with ":" in the raw slot, whatever else the slot holds.
bool HoldsVerdict(const std::string& raw);

inline constexpr char kCodeGood[] = "200";
inline constexpr char kCodeTryAgain[] = "400";
inline constexpr char kCodeBad[] = "500";

// ": 200 OK", or ": " + code + " " + message.
std::string EncodeVerdict(const std::string& code, const std::string& message);

struct Verdict {
  std::string code;  // the text before the first blank: "200", "400", "500"
  std::string text;     // the whole verdict after ": ", code included
  std::string message;  // the text after the code
};
Verdict DecodeVerdict(const std::string& raw);

}  // namespace vantrel
