#include "shell/console/report_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/shell/csv_reader.h"
#include "tests/support/memory_file_system.h"

namespace vantrel::console {
namespace {

using Row = std::vector<std::string>;

LineDecision Decision(std::int64_t number, std::string line, LineOutcome outcome, std::string code = "",
                      std::string message = "", std::string host = "", std::string reply = "",
                      LineReason reason = LineReason::kNotChecked, std::string accept_all = "") {
  return LineDecision{number,          std::move(line),  outcome, std::move(code), std::move(message),
                      std::move(host), std::move(reply), reason,  std::move(accept_all)};
}

TEST(ReportFile, EveryFieldComesBackFromASpreadsheetReaderAsItWent) {
  struct Case {
    LineDecision decision;
    Row row;
  };
  const std::vector<Case> cases = {
      {Decision(1, "a@ok.test", LineOutcome::kGood, "200", "ok", "127.0.0.2", "250 rcpt ok", LineReason::kAccepted,
                "yes"),
       {"1", "a@ok.test", "good", "200", "ok", "127.0.0.2", "250 rcpt ok", "accepted", "yes"}},
      {Decision(2, "\"Smith, Jo\" <jo@x.test>", LineOutcome::kBad, "500", "Remote server said \"no\"", "127.0.0.3",
                "550 no, \"really\"", LineReason::kMailbox),
       {"2", "\"Smith, Jo\" <jo@x.test>", "bad", "500", "Remote server said \"no\"", "127.0.0.3",
        "550 no, \"really\"", "mailbox", ""}},
      {Decision(3, "bare\rcr\nand lf", LineOutcome::kTryAgain, "400", "", "", "", LineReason::kRefusedUs),
       {"3", "bare\rcr\nand lf", "try-again", "400", "", "", "", "refused-us", ""}},
      {Decision(4, "+jos\xc3\xa9@caf\xc3\xa9.test", LineOutcome::kSuspended, "", "", "", "", LineReason::kSuspended),
       {"4", "+jos\xc3\xa9@caf\xc3\xa9.test", "suspended", "", "", "", "", "suspended", ""}},
      {Decision(5, "", LineOutcome::kNotAnAddress), {"5", "", "not-an-address", "", "", "", "", "not-checked", ""}},
      {Decision(6, "latin1 \xe9 byte", LineOutcome::kKeptUnchecked, "", "", "", "", LineReason::kTooLong),
       {"6", "latin1 \xe9 byte", "kept-unchecked", "", "", "", "", "too-long", ""}},
  };
  testing::MemoryFileSystem files;
  ReportFile report(files, "run.csv");
  ASSERT_TRUE(report.Open());
  std::vector<Row> expected = {{"line_number", "line", "outcome", "verdict_code", "verdict_message", "mail_host",
                                "last_reply", "reason", "accept_all"}};
  for (const auto& c : cases) {
    report.LineDecided(c.decision);
    report.ProgressMade(RunProgress{});
    expected.push_back(c.row);
    // Each row is in the file by the run's next progress report: a run
    // stopped now leaves a report that parses.
    std::optional<testing::CsvRows> rows = testing::ReadCsv(files.files["run.csv"]);
    ASSERT_TRUE(rows.has_value()) << files.files["run.csv"];
    EXPECT_EQ(*rows, expected);
  }
  EXPECT_FALSE(report.Failed());
  // Only fields that need it are quoted.
  EXPECT_EQ(files.files["run.csv"].substr(0, 111),
            "line_number,line,outcome,verdict_code,verdict_message,mail_host,last_reply,reason,accept_all\r\n"
            "1,a@ok.test,good,");
}

TEST(ReportFile, AFailedWriteStopsTheReportAndSaysSo) {
  testing::MemoryFileSystem files;
  files.locked.insert("locked.csv");
  EXPECT_FALSE(ReportFile(files, "locked.csv").Open());

  files.failing_write.insert("full.csv");  // a full disk: half of each write lands
  ReportFile full(files, "full.csv");
  ASSERT_FALSE(full.Open());
  EXPECT_TRUE(full.Failed());
  std::string written = files.files["full.csv"];
  full.LineDecided(Decision(1, "a@b", LineOutcome::kGood));
  EXPECT_EQ(files.files["full.csv"], written);  // no more half rows
}

}  // namespace
}  // namespace vantrel::console
