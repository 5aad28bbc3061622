// Reading member list lines until one of them is an address to probe, and
// taking the verdicts the tasks leave in their slots.
#include "probe/slot_protocol.h"
#include "run/mail_host.h"
#include "run/verification_run.h"

namespace vantrel::run {

namespace {

// A single fetch can read a long stretch of lines that need no probe; their
// log lines go to the file in between so that memory stays flat however long
// the stretch. Cutting the flushes at line ends leaves the file as it would
// be otherwise.
constexpr int kLinesPerLogFlush = 256;

}  // namespace

VerificationRun::Fetch VerificationRun::FetchJob(int slot, Job* job) {
  SharedState& shared = Shared();
  const std::string index = std::to_string(slot);
  int lines_since_flush = 0;
  std::string read;
  for (;;) {
    if (!members_->ReadLine(&read)) return Fetch::kNoJob;
    ++master_count_;
    AppendLogLine(index + " File Input: " + read);
    if (++lines_since_flush >= kLinesPerLogFlush) {
      log_.FlushDuringRun();
      lines_since_flush = 0;
    }

    ClassifiedLine classified = ClassifyLine(read);
    const std::string& line = classified.line;
    if (classified.kind == LineKind::kNotAnAddress) {
      results_->WriteLine(line);
      AppendLogLine(index + " Not an email address. No @ sign.");
      continue;
    }
    if (classified.was_soft_dns) {
      AppendLogLine(index + " This address was suspended for soft DNS error last time. Un-suspending.");
    }
    if (classified.kind == LineKind::kSuspended) {
      results_->WriteLine(line);
      AppendLogLine(index + " Suspended. Skipping this address.");
      continue;
    }

    const std::string address = TrimBlanks(line);
    std::string reason = UncheckableReason(address);
    if (!reason.empty()) {
      JudgeBad(slot, reason, line);
      continue;
    }

    const std::string domain = DomainOf(line);
    ShowStatus("Resolving " + domain);
    dialog_.ProcessOneMessage();
    if (shared.stop_flag.load() != 0) return Fetch::kStopped;
    MailHost host = LookUpMailHost(network_, dns_server_, domain, shared.waits.dns_wait_ms, &mx_records_,
                                   [&shared] { return shared.stop_flag.load() != 0; });
    if (host.outcome == MailHost::Outcome::kFound) {
      AppendLogLine(index + " Found MX server (" + host.address + ") for " + domain);
      job->line = line;
      job->text = EncodeJob(address, host.address);
      return Fetch::kJob;
    }
    if (host.outcome == MailHost::Outcome::kNoUsableRecord) {
      AppendLogLine(index + " Could not find MX server for " + line);
    }
    results_->WriteLine("++" + line);
    ++bad_count_;
  }
}

void VerificationRun::TakeVerdict(int slot, const std::string& raw) {
  std::size_t index = static_cast<std::size_t>(slot);
  Verdict verdict = DecodeVerdict(raw);
  Shared().slots[index].Store("");
  if (verdict.code == kCodeTryAgain || verdict.code == kCodeBad) {
    JudgeBad(slot, verdict.text, assigned_[index]);
  } else {
    results_->WriteLine(assigned_[index]);
  }
  assigned_[index].clear();
  has_job_[index] = false;
}

void VerificationRun::JudgeBad(int slot, const std::string& verdict, const std::string& line) {
  ++bad_count_;
  AppendLogLine(std::to_string(slot) + " !I think this is a bad address: " + verdict + " " + line);
  switch (mode_) {
    case ErrorMode::kRemove:
      break;  // the log line above is all that remains of it
    case ErrorMode::kSuspend:
      results_->WriteLine("+" + TrimLeadingBlanks(line));
      break;
    case ErrorMode::kWriteToFile:
      if (!AppendBadAddressEntry(files_, BadAddressFileName(list_name_), verdict, line)) {
        // Rather than lose the address, keep it where the user will see it.
        results_->WriteLine(line);
        AppendLogLine(std::to_string(slot) + " Could not write to " + BadAddressFileName(list_name_) +
                      ". Keeping this address: " + line);
        bad_file_failed_ = true;
      }
      break;
  }
}

}  // namespace vantrel::run
