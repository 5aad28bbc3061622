// Reading member list lines until one of them is an address to probe, and
// taking the verdicts the tasks leave in their slots.
#include "probe/slot_protocol.h"
#include "run/line_reason.h"
#include "run/mail_host.h"
#include "run/verification_run.h"

namespace vantrel::run {

VerificationRun::Fetch VerificationRun::FetchJob(int slot, Job* job) {
  SharedState& shared = Shared();
  const std::string index = std::to_string(slot);
  int lines_since_check = 0;
  for (;;) {
    // A member, so that a stop during the lookup can put the line back.
    Job& read = in_hand_;
    read = Job{};
    holding_line_ = members_->ReadLine(&read.read);
    if (!holding_line_) return Fetch::kNoJob;
    read.number = ++master_count_;
    ReportProgress();
    AppendLogLine(index + " File Input: " + read.read);
    // Cutting the log's flushes at line ends leaves the file as it would be
    // otherwise; the window gets its turn so that it can be closed.
    if (++lines_since_check >= kLinesPerStopCheck) {
      lines_since_check = 0;
      log_.FlushDuringRun();
      dialog_.ProcessOneMessage();
      if (shared.stop_flag.load() != 0) return Fetch::kStopped;
    }

    ClassifiedLine classified = ClassifyLine(read.read);
    read.line = classified.line;
    const std::string& line = read.line;
    if (classified.kind == LineKind::kNotAnAddress) {
      results_->WriteLine(line);
      AppendLogLine(index + " Not an email address. No @ sign.");
      Decide(read, LineReason::kNotChecked);
      continue;
    }
    if (classified.was_soft_dns) {
      AppendLogLine(index + " This address was suspended for soft DNS error last time. Un-suspending.");
    }
    if (classified.kind == LineKind::kSuspended) {
      results_->WriteLine(line);
      AppendLogLine(index + " Suspended. Skipping this address.");
      Decide(read, LineReason::kSuspended);
      continue;
    }

    const std::string address = TrimBlanks(line);
    // No task can be handed it whole, so nothing can be said about it: it
    // goes back as it came, a "++" that says so included.
    if (std::optional<Uncheckable> uncheckable = UncheckableReason(address)) {
      results_->WriteLine(read.read);
      AppendLogLine(index + " " + uncheckable->text + " Keeping it unchecked.");
      Decide(read, uncheckable->too_long ? LineReason::kTooLong : LineReason::kUnusableCharacters, std::string(),
             uncheckable->text);
      continue;
    }

    const std::string domain = DomainOf(line);
    ShowStatus("Resolving " + domain);
    dialog_.ProcessOneMessage();
    if (shared.stop_flag.load() != 0) return Fetch::kStopped;
    if (LogBufferSize() > kLogBufferLimit) log_.FlushDuringRun();
    // Only the window's close sets the stop flag, so the window must be
    // heard between the slices of the wait.
    MailHost host = LookUpMailHost(network_, dns_server_, domain, shared.waits.dns_wait_ms, &mx_records_, [&] {
      dialog_.ProcessOneMessage();
      return shared.stop_flag.load() != 0;
    });
    if (host.outcome == MailHost::Outcome::kStopped || shared.stop_flag.load() != 0) return Fetch::kStopped;
    if (!CountLookup(slot, host.outcome)) {
      results_->WriteLine(read.read);
      ++unchecked_count_;
      Decide(read, LineReason::kDnsGivenUp);
      holding_line_ = false;
      return Fetch::kNoJob;
    }
    read.mail_host = host.address;
    read.domain = domain;
    LineReason failure = LineReason::kDnsError;
    switch (host.outcome) {
      case MailHost::Outcome::kFound:
        if (HostRefusedUs(host.address)) {
          KeepNotChecked(slot, host.address, line);
          Decide(read, LineReason::kHostRefusedUsEarlier);
          continue;
        }
        AppendLogLine(index + " Found MX server (" + host.address + ") for " + domain);
        read.text = EncodeJob(address, host.address);
        *job = std::move(read);
        holding_line_ = false;
        return Fetch::kJob;
      case MailHost::Outcome::kNullMx: {
        // The domain itself says that no address of it takes mail.
        const std::string message = "Domain " + domain + " accepts no mail (null MX)";
        JudgeBad(slot, std::string(kCodeBad) + " " + message, line);
        Decide(read, LineReason::kNullMx, kCodeBad, message);
        continue;
      }
      case MailHost::Outcome::kNoMx:
      case MailHost::Outcome::kNoHostAddress:
        AppendLogLine(index + " Could not find MX server for " + line);
        failure = host.outcome == MailHost::Outcome::kNoMx ? LineReason::kNoMx : LineReason::kNoHostAddress;
        break;
      case MailHost::Outcome::kNoAnswer:
        failure = LineReason::kDnsNoAnswer;
        break;
      case MailHost::Outcome::kNoSuchDomain:
        failure = LineReason::kNoSuchDomain;
        break;
      default:
        break;
    }
    results_->WriteLine("++" + line);
    ++bad_count_;
    Decide(read, failure);
  }
}

// A server that answers at all, even with an error, is alive; one that
// answers nothing many times in a row would cost the whole DNS wait for
// every line left.
bool VerificationRun::CountLookup(int slot, MailHost::Outcome outcome) {
  ++lookups_made_;
  if (outcome != MailHost::Outcome::kNoAnswer) {
    any_lookup_answered_ = true;
    lookups_unanswered_ = 0;
    return true;
  }
  if (++lookups_unanswered_ < kUnansweredLookupLimit) return true;
  dns_silent_ = true;
  AppendLogLine(std::to_string(slot) + " The DNS server " + dns_server_ + " did not answer " +
                std::to_string(kUnansweredLookupLimit) + " lookups in a row. Keeping the rest of the list unchecked.");
  return false;
}

void VerificationRun::TakeVerdict(int slot, const std::string& raw) {
  std::size_t index = static_cast<std::size_t>(slot);
  const Job& job = assigned_[index];
  Verdict verdict = DecodeVerdict(raw);
  Shared().slots[index].Store("");
  const ProbeOutcome probe = ProbeOutcomeOf(slot);
  if (job.accept_all_check) {
    TakeLastReply(slot);
    const AcceptAll result = probe == ProbeOutcome::kAccepted ? AcceptAll::kYes
                             : probe == ProbeOutcome::kMailbox ? AcceptAll::kNo
                                                               : AcceptAll::kUnknown;
    AppendLogLine(std::to_string(slot) + " Accept-all check for " + job.domain + ": " +
                  (result == AcceptAll::kYes  ? std::string("its mail server accepts any address.")
                   : result == AcceptAll::kNo ? std::string("its mail server refuses addresses that do not exist.")
                                              : "no answer about an address that cannot exist (" + verdict.text + ")."));
    FinishCheck(job, result);
    assigned_[index] = Job{};
    has_job_[index] = false;
    return;
  }
  LineReason reason = ReasonForProbe(probe);
  if (verdict.code == kCodeTryAgain) {
    if (probe == ProbeOutcome::kHostRefusedUsEarlier) {
      KeepNotChecked(slot, job.mail_host, job.line);
    } else {
      KeepToTryAgain(slot, verdict.text, job.line);
    }
    if (OutcomeOf(reason) != LineOutcome::kTryAgain) reason = LineReason::kNoConnection;
  } else if (verdict.code == kCodeBad) {
    JudgeBad(slot, verdict.text, job.line);
    if (OutcomeOf(reason) != LineOutcome::kBad) reason = LineReason::kMailbox;
  } else {
    results_->WriteLine(job.line);
    reason = LineReason::kAccepted;
    checks_.GoodLine(job.domain, job.mail_host, HostRefusedUs(job.mail_host));
  }
  Decide(job, reason, verdict.code, verdict.message, TakeLastReply(slot));
  assigned_[index] = Job{};
  has_job_[index] = false;
}

VerificationRun::Job VerificationRun::CheckJob(int slot, const AcceptAllJob& check) {
  AppendLogLine(std::to_string(slot) + " Accept-all check for " + check.domain + ": asking " + check.mail_host +
                " about " + check.address + ", an address that cannot exist.");
  Job job;
  job.accept_all_check = true;
  job.domain = check.domain;
  job.mail_host = check.mail_host;
  job.text = EncodeJob(check.address, check.mail_host);
  return job;
}

void VerificationRun::FinishCheck(const Job& job, AcceptAll result) {
  if (options_.observer == nullptr) return;
  for (const LineDecision& decision : checks_.Finished(job.domain, result)) options_.observer->LineDecided(decision);
}

void VerificationRun::ReleaseHeldDecisions() {
  if (options_.observer == nullptr) return;
  for (const LineDecision& decision : checks_.ReleaseAll()) options_.observer->LineDecided(decision);
}

// Its mail host turned this computer away earlier in the run: asking again
// would only deepen a block, and says nothing about the address.
void VerificationRun::KeepNotChecked(int slot, const std::string& mail_host, const std::string& line) {
  ++bad_count_;
  AppendLogLine(std::to_string(slot) + " !Not checked: its mail server (" + mail_host +
                ") refused this computer earlier in this run. Keeping it to try again next run: " + line);
  results_->WriteLine("++" + line);
}

// Nothing was learnt about the recipient, so the line is kept for the next
// run exactly as a failed lookup keeps it, whatever the error mode.
void VerificationRun::KeepToTryAgain(int slot, const std::string& verdict, const std::string& line) {
  ++bad_count_;
  AppendLogLine(std::to_string(slot) + " !Could not check this address now, keeping it to try again next run: " +
                verdict + " " + line);
  results_->WriteLine("++" + line);
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
