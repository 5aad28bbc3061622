#include "shell/console/report_file.h"

#include <utility>

#include "run/member_list.h"
#include "run/run_log.h"

namespace vantrel::console {

const char* OutcomeName(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kGood:
      return "good";
    case LineOutcome::kBad:
      return "bad";
    case LineOutcome::kTryAgain:
      return "try-again";
    case LineOutcome::kSuspended:
      return "suspended";
    case LineOutcome::kNotAnAddress:
      return "not-an-address";
    case LineOutcome::kKeptUnchecked:
      return "kept-unchecked";
  }
  return "kept-unchecked";
}

std::string CsvRecord(const std::vector<std::string_view>& fields) {
  std::string record;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) record += ',';
    std::string_view field = fields[i];
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
      record += field;
      continue;
    }
    record += '"';
    for (char c : field) {
      if (c == '"') record += '"';
      record += c;
    }
    record += '"';
  }
  record += "\r\n";
  return record;
}

ReportFile::ReportFile(platform::FileSystem& files, std::string name) : files_(files), name_(std::move(name)) {}

bool ReportFile::Open() {
  file_ = files_.OpenTruncate(name_);
  if (!file_) return false;
  Put(CsvRecord({"line_number", "line", "outcome", "verdict_code", "verdict_message", "mail_host", "last_reply",
                   "reason", "accept_all"}));
  return Flush();
}

bool ReportFile::RunStarting() {
  open_failed_ = !Open();
  return !open_failed_;
}

void ReportFile::LineDecided(const LineDecision& decision) {
  std::string number = std::to_string(decision.line_number);
  Put(CsvRecord({number, decision.line, OutcomeName(decision.outcome), decision.verdict_code,
                 decision.verdict_message, decision.mail_host, decision.last_reply, ReasonName(decision.reason),
                 decision.accept_all}));
}

void ReportFile::Put(const std::string& row) {
  if (!file_ || failed_) return;
  held_ += row;
  if (held_.size() >= kHeldBytes) Flush();
}

bool ReportFile::Flush() {
  if (file_ && !failed_ && !held_.empty()) {
    // A half-written row would break every row after it: stop at the first failure.
    if (!file_->Write(held_)) failed_ = true;
    held_.clear();
  }
  return !failed_;
}

std::string ReportClash(platform::FileSystem& files, const std::string& report, const std::string& list_name) {
  const std::pair<const char*, std::string> own[] = {
      {"the member list", list_name},
      {"the settings file", run::kSettingsFileName},
      {"the run log", run::kRunLogName},
      {"the result list", run::ResultListName(list_name)},
      {"the bad-address file", run::BadAddressFileName(list_name)},
  };
  for (const auto& [what, name] : own) {
    if (files.SameFile(report, name)) return std::string(what) + " \"" + name + "\"";
  }
  return std::string();
}

}  // namespace vantrel::console
