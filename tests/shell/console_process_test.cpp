// The vantrel program as a user runs it: a process in a folder of its own,
// against fake DNS and SMTP servers on loopback. Needs the private network
// namespace of tests/run-in-netns.sh (ports 25 and 53).
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/console_process.h"
#include "tests/shell/csv_reader.h"
#include "tests/support/loopback.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/settings_file.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using testing::FakeDnsServer;
using testing::FakeSmtpServer;
using testing::LoopbackAddress;
using testing::Console;
using testing::ReadFile;
using testing::WriteFile;

std::vector<std::string> FolderContents(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The DNS server of these tests: ok.test and strict.test each have one mail
// host, nomx.test has none, every other name does not exist.
class World {
 public:
  World()
      : dns_(LoopbackAddress(1), testing::MxZoneResponder({
                                     {"ok.test", {{10, LoopbackAddress(2)}}},
                                     {"strict.test", {{10, LoopbackAddress(3)}, {20, LoopbackAddress(2)}}},
                                     {"slow.test", {{10, LoopbackAddress(4)}}},
                                     {"nomx.test", {}},
                                 })) {}

  std::string dns() const { return LoopbackAddress(1); }
  std::vector<std::string> Queries() { return dns_.Queries(); }

 private:
  FakeDnsServer dns_;
};


TEST(ConsoleProgram, RunsTheListAndSavesTheOptionsAsTheDialogWould) {
  World world;
  FakeSmtpServer accepting(LoopbackAddress(2), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n"});
  FakeSmtpServer refusing(LoopbackAddress(3), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "550 no such user\r\n"});
  ASSERT_TRUE(accepting.listening() && refusing.listening());

  Console console;
  WriteFile(console.folder() / "list.lst", "# heading\r\na@ok.test\r\nb@strict.test\r\nc@nomx.test\r\n");
  WriteFile(console.folder() / "Vantrel.INI", "LOCATION=-7:300\r\nBODY=1\r\nERROR=1\r\n");
  ASSERT_EQ(console.Run({"--dns", world.dns(), "--list", "list.lst", "--from", "Me <me@vantrel.test>",
                         "--errors", "file"}),
            0)
      << console.Stderr();

  EXPECT_NE(console.Stdout().find("\n[Results]\nI think everything is done.\n\nAddresses in master list: 4\n"
                                  "Bad addresses found: 2\nGood addresses: 2\nChecked: 1 good, 1 bad, 1 to try "
                                  "again. Not checked: 1 (comments, blank lines, suspended lines and lines kept "
                                  "unchanged).\n"),
            std::string::npos)
      << console.Stdout();
  EXPECT_EQ(console.Stderr(), "");
  std::string result_list = console.File("list.lst.OK");
  EXPECT_EQ(testing::SortedCrLfLines(result_list),
            (std::vector<std::string>{"# heading", "++c@nomx.test", "a@ok.test"}));
  EXPECT_EQ(result_list.size() - result_list.rfind("\r\n"), 2u) << "the last line ends with CR LF";
  EXPECT_EQ(console.File("list.lst.BAD"), "## 500 Remote server (" + LoopbackAddress(3) +
                                              ") does not accept mail to \"b@strict.test\" b@strict.test\r\n"
                                              "b@strict.test\r\n");
  EXPECT_EQ(console.File("vantrel.log").substr(0, 82), std::string(80, '=') + "\r\n");
  EXPECT_EQ(world.Queries().size(), 3u);  // one per address line

  // Each host heard exactly one dialogue, ending at RCPT TO or QUIT.
  std::string heard = accepting.Received();
  EXPECT_EQ(heard.rfind("HELO ", 0), 0u) << heard;
  EXPECT_EQ(heard.substr(heard.find("\r\n")), "\r\nMAIL FROM: <me@vantrel.test>\r\nRCPT TO: <a@ok.test>\r\nQUIT\r\n");
  heard = refusing.Received();
  EXPECT_EQ(heard.substr(heard.find("\r\n")), "\r\nMAIL FROM: <me@vantrel.test>\r\nRCPT TO: <b@strict.test>\r\n");

  // The options became the settings; the position came through untouched.
  EXPECT_EQ(console.File("Vantrel.INI"),
            testing::SettingsFile("-7:300", 1, world.dns(), 3, "list.lst", "Me <me@vantrel.test>"));
}

TEST(ConsoleProgram, MissingListIsRefusedAndOnlyTheSettingsAreWritten) {
  World world;
  Console console;
  const std::string settings = "LOCATION=12:34\r\nDNS=" + world.dns() + "\r\nFILE=gone.lst\r\nERROR=2\r\n";
  WriteFile(console.folder() / "Vantrel.INI", settings);
  // Every value comes from the settings file; the report is opened only
  // once the run's own checks have passed.
  EXPECT_EQ(console.Run({"--report", "run.csv"}), 1);

  EXPECT_EQ(console.Stderr(),
            "\n[Error]\nFile not found.\n\ngone.lst\n\nClick the [...] button to\nbrowse for the input file.\n"
            "Give the list with --list FILE.\n");
  EXPECT_EQ(console.Stdout().find("[Results]"), std::string::npos);
  EXPECT_EQ(FolderContents(console.folder()), (std::vector<std::string>{".stderr", ".stdout", "Vantrel.INI"}));
  std::string saved = console.File("Vantrel.INI");
  EXPECT_NE(saved.find("\r\nLOCATION=12:34\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nFILE=gone.lst\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nERROR=2\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nBODY=0\r\n"), std::string::npos) << saved;  // a file without BODY: unchecked
  EXPECT_TRUE(world.Queries().empty());
}

TEST(ConsoleProgram, BadOptionsEndWithStatusTwoAndWriteNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--dns", "not-an-address", "--list", "x.lst"},
      {"--errors", "delete"},
      {"--list"},
      {"--quiet=1"},
      {"--helo", "two words"},
      {"members.lst"},
  };
  for (const auto& arguments : cases) {
    Console console;
    WriteFile(console.folder() / "Vantrel.INI", "ERROR=1\r\n");
    EXPECT_EQ(console.Run(arguments), 2) << ::testing::PrintToString(arguments);
    std::string err = console.Stderr();
    EXPECT_EQ(err.rfind("vantrel: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.begin() + static_cast<long>(err.find("\n\nUsage: ")), '\n'), 0) << err;
    EXPECT_EQ(console.Stdout(), "");
    EXPECT_EQ(console.File("Vantrel.INI"), "ERROR=1\r\n");
    EXPECT_EQ(FolderContents(console.folder()), (std::vector<std::string>{".stderr", ".stdout", "Vantrel.INI"}));
  }
}

// A report over one of the run's own files would destroy it: it is refused
// before anything, the settings included, is written.
TEST(ConsoleProgram, AReportOverOneOfTheRunsOwnFilesIsRefusedAndTouchesNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"list.lst", "the member list \"list.lst\""},
      {"./Vantrel.INI", "the settings file \"Vantrel.INI\""},
      {"vantrel.log", "the run log \"vantrel.log\""},
      {"list.lst.OK", "the result list \"list.lst.OK\""},
      {"list.lst.BAD", "the bad-address file \"list.lst.BAD\""},  // not there yet
      {"link.csv", "the member list \"list.lst\""},               // a symbolic link to it
  };
  for (const auto& [report, clash] : cases) {
    SCOPED_TRACE(report);
    Console console;
    const std::map<std::string, std::string> files = {{"list.lst", "a@ok.test\r\n"},
                                                      {"Vantrel.INI", "FILE=list.lst\r\nDNS=127.0.0.1\r\n"},
                                                      {"vantrel.log", "earlier run\r\n"},
                                                      {"list.lst.OK", "old@ok.test\r\n"}};
    for (const auto& [name, content] : files) WriteFile(console.folder() / name, content);
    fs::create_symlink("list.lst", console.folder() / "link.csv");
    EXPECT_EQ(console.Run({"--report", report, "--errors", "file"}), 1);
    EXPECT_EQ(console.Stderr(), "vantrel: the report \"" + report + "\" is " + clash + "; give --report a file of its own\n");
    for (const auto& [name, content] : files) EXPECT_EQ(console.File(name), content) << name;
    EXPECT_EQ(FolderContents(console.folder()).size(), files.size() + 3) << "nothing made but the output files";
  }
}

TEST(ConsoleProgram, HelpAndVersionTouchNothing) {
  Console console;
  EXPECT_EQ(console.Run({"--version"}), 0);
  EXPECT_EQ(console.Stdout(), "Vantrel 1.2\n");
  EXPECT_EQ(console.Run({"--help"}), 0);
  EXPECT_EQ(console.Stdout().rfind("Usage: vantrel ", 0), 0u);
  EXPECT_EQ(FolderContents(console.folder()), (std::vector<std::string>{".stderr", ".stdout"}));
}

TEST(ConsoleProgram, InterruptDuringARunSavesTheSettingsAndEndsPromptly) {
  World world;
  // Accepts the connection and never greets: the probe would wait a minute.
  FakeSmtpServer silent(LoopbackAddress(4), {FakeSmtpServer::kSilent});
  ASSERT_TRUE(silent.listening());

  Console console;
  const std::string list = "x@slow.test\r\ny@slow.test\r\nz@slow.test\r\n";
  WriteFile(console.folder() / "list.lst", list);
  console.Start({"--dns", world.dns(), "--list", "list.lst", "--errors", "remove"});
  ASSERT_TRUE(silent.WaitForConnections(1, 30000)) << "no probe reached the silent server within 30 s; vantrel said:\n"
                                                   << console.Stdout();
  console.Signal(SIGINT);
  // Well within the probe's one-minute limit: the probe sees the stop flag
  // while it waits, so no task is still running after the exit's grace.
  EXPECT_EQ(console.Wait(std::chrono::seconds(30)), 128 + SIGINT);

  std::string out = console.Stdout();
  EXPECT_NE(out.find("Status: Terminating all active tasks.\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("[Warning]"), std::string::npos) << out;
  EXPECT_EQ(out.find("[Results]"), std::string::npos) << out;
  // Lines in flight to the silent server and lines never read alike.
  EXPECT_NE(out.find("WARNING: The run was stopped at line "), std::string::npos) << out;
  EXPECT_NE(out.find("; 3 lines were copied to the result list unchecked.\n"), std::string::npos) << out;
  EXPECT_EQ(testing::SortedCrLfLines(console.File("list.lst.OK")), testing::SortedCrLfLines(list));
  EXPECT_NE(console.File("Vantrel.INI").find("\r\nERROR=1\r\n"), std::string::npos);
  EXPECT_NE(console.File("Vantrel.INI").find("\r\nFILE=list.lst\r\n"), std::string::npos);
}

// A stop whose result list cannot be written (here a folder has its name)
// must not pass for a mere interruption: the user would take the list.
TEST(ConsoleProgram, AStopThatCannotWriteTheResultListSaysSoAndEndsWithStatusOne) {
  World world;
  FakeSmtpServer silent(LoopbackAddress(4), {FakeSmtpServer::kSilent});
  ASSERT_TRUE(silent.listening());
  Console console;
  WriteFile(console.folder() / "list.lst", "x@slow.test\r\n");
  std::filesystem::create_directory(console.folder() / "list.lst.OK");
  console.Start({"--dns", world.dns(), "--list", "list.lst"});
  ASSERT_TRUE(silent.WaitForConnections(1, 30000)) << console.Stdout();
  console.Signal(SIGINT);
  EXPECT_EQ(console.Wait(std::chrono::seconds(30)), 1);
  const std::string error = "ERROR: The result list list.lst.OK could not be written in full; the member list is unchanged.";
  EXPECT_NE(console.Stderr().find("\n" + error + "\n"), std::string::npos) << console.Stderr();
  EXPECT_NE(console.File("vantrel.log").find("\r\n" + error + "\r\n"), std::string::npos);
  EXPECT_EQ(console.File("list.lst"), "x@slow.test\r\n");
  EXPECT_EQ(console.Stdout().find("WARNING: The run was stopped"), std::string::npos) << console.Stdout();
}

TEST(ConsoleProgram, AClosedOutputPipeCostsNeitherTheResultsNorTheSettings) {
  World world;
  FakeSmtpServer accepting(LoopbackAddress(2), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n"});
  FakeSmtpServer refusing(LoopbackAddress(3), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "550 no such user\r\n"});
  ASSERT_TRUE(accepting.listening() && refusing.listening());

  Console console;
  WriteFile(console.folder() / "list.lst", "# heading\r\na@ok.test\r\nb@strict.test\r\nc@nomx.test\r\nd@ok.test\r\n");
  console.Start({"--dns", world.dns(), "--list", "list.lst", "--errors", "suspend", "--report", "run.csv"}, true);
  EXPECT_EQ(console.Wait(), 0) << console.Stderr();
  EXPECT_EQ(testing::SortedCrLfLines(console.File("list.lst.OK")),
            (std::vector<std::string>{"# heading", "++c@nomx.test", "+b@strict.test", "a@ok.test", "d@ok.test"}));
  std::string settings = console.File("Vantrel.INI");
  EXPECT_NE(settings.find("\r\nERROR=2\r\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("\r\nFILE=list.lst\r\n"), std::string::npos) << settings;
  EXPECT_TRUE(testing::ReadCsv(console.File("run.csv")).has_value());
}

TEST(ConsoleProgram, TheHeloNameGoesOutByteForByteAndIsNotSaved) {
  World world;
  FakeSmtpServer accepting(LoopbackAddress(2), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n"});
  ASSERT_TRUE(accepting.listening());
  Console console;
  WriteFile(console.folder() / "list.lst", "a@ok.test\r\n");
  const std::string name = "mail-1.Example.ORG.\xc3\xa9[x]";
  ASSERT_EQ(console.Run({"--dns", world.dns(), "--list", "list.lst", "--from", "<me@vantrel.test>", "--helo", name}),
            0)
      << console.Stderr();
  EXPECT_EQ(accepting.Received(),
            "HELO " + name + "\r\nMAIL FROM: <me@vantrel.test>\r\nRCPT TO: <a@ok.test>\r\nQUIT\r\n");
  EXPECT_EQ(console.File("Vantrel.INI").find(name), std::string::npos);
}

// The report against what the run wrote: one row per line read, each
// outcome the one the result list and the bad-address file show.
TEST(ConsoleProgram, TheReportAgreesWithTheResultListInEveryMode) {
  World world;
  FakeSmtpServer accepting(LoopbackAddress(2), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n"});
  FakeSmtpServer refusing(LoopbackAddress(3), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "550 no such user\r\n"});
  ASSERT_TRUE(accepting.listening() && refusing.listening());
  const std::vector<std::string> list = {"# heading, with \"quotes\"", "a@ok.test", "b@strict.test", "c@nomx.test",
                                         "+d@ok.test", "e@ok.test"};
  const std::vector<std::string> outcomes = {"not-an-address", "good", "bad", "try-again", "suspended", "good"};
  const std::vector<std::string> reasons = {"not-checked", "accepted", "mailbox", "no-mx", "suspended", "accepted"};

  for (const std::string mode : {"remove", "suspend", "file"}) {
    SCOPED_TRACE(mode);
    Console console;
    std::string text;
    for (const auto& line : list) text += line + "\r\n";
    WriteFile(console.folder() / "list.lst", text);
    ASSERT_EQ(console.Run({"--dns", world.dns(), "--list", "list.lst", "--errors", mode, "--report", "run.csv",
                           "--quiet"}),
              0)
        << console.Stderr();
    std::optional<testing::CsvRows> rows = testing::ReadCsv(console.File("run.csv"));
    ASSERT_TRUE(rows.has_value()) << console.File("run.csv");
    ASSERT_FALSE(rows->empty());
    EXPECT_EQ(rows->front(), (std::vector<std::string>{"line_number", "line", "outcome", "verdict_code",
                                                       "verdict_message", "mail_host", "last_reply", "reason",
                                                       "accept_all"}));
    ASSERT_EQ(rows->size(), list.size() + 1);
    std::vector<std::string> result = testing::SortedCrLfLines(console.File("list.lst.OK"));
    std::string bad_file = console.Has("list.lst.BAD") ? console.File("list.lst.BAD") : "";
    auto in_result = [&](const std::string& line) {
      return std::find(result.begin(), result.end(), line) != result.end();
    };
    std::sort(rows->begin() + 1, rows->end(),
              [](const auto& a, const auto& b) { return std::stol(a[0]) < std::stol(b[0]); });
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::vector<std::string>& row = (*rows)[i + 1];
      ASSERT_EQ(row.size(), 9u);
      EXPECT_EQ(row[0], std::to_string(i + 1));
      EXPECT_EQ(row[1], list[i]);
      EXPECT_EQ(row[2], outcomes[i]) << list[i];
      EXPECT_EQ(row[7], reasons[i]) << list[i];
      const std::string& outcome = row[2];
      if (outcome == "good" || outcome == "suspended" || outcome == "not-an-address") {
        EXPECT_TRUE(in_result(list[i])) << list[i];
      } else if (outcome == "try-again") {
        EXPECT_TRUE(in_result("++" + list[i])) << list[i];
      } else if (outcome == "bad") {
        EXPECT_EQ(row[3], "500");
        EXPECT_EQ(row[5], LoopbackAddress(3));
        EXPECT_EQ(in_result("+" + list[i]), mode == "suspend") << list[i];
        EXPECT_EQ(in_result(list[i]), false) << list[i];
        EXPECT_EQ(bad_file.find("\r\n" + list[i] + "\r\n") != std::string::npos, mode == "file") << bad_file;
      }
    }
    EXPECT_EQ(console.Stdout().rfind("\n[Results]\n", 0), 0u) << console.Stdout();  // quiet: nothing before it
  }
}

TEST(ConsoleProgram, AnInterruptedRunLeavesAReportThatParses) {
  World world;
  FakeSmtpServer accepting(LoopbackAddress(2), {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n"});
  FakeSmtpServer silent(LoopbackAddress(4), {FakeSmtpServer::kSilent});
  ASSERT_TRUE(accepting.listening() && silent.listening());
  Console console;
  // More lines at the silent host than there are tasks: some are never read.
  std::string list = "a@ok.test\r\nx@slow.test\r\n\"q, r\"@ok.test\r\n";
  for (int i = 0; i < 15; ++i) list += "y" + std::to_string(i) + "@slow.test\r\n";
  WriteFile(console.folder() / "list.lst", list);
  console.Start({"--dns", world.dns(), "--list", "list.lst", "--report", "run.csv"});
  ASSERT_TRUE(silent.WaitForConnections(1, 30000)) << console.Stdout();
  console.Signal(SIGTERM);
  EXPECT_EQ(console.Wait(), 128 + SIGTERM);
  std::optional<testing::CsvRows> rows = testing::ReadCsv(console.File("run.csv"));
  ASSERT_TRUE(rows.has_value()) << console.File("run.csv");
  ASSERT_EQ(rows->size(), 1u + 18u) << "a row for every line, the unread ones included";
  for (const auto& row : *rows) EXPECT_EQ(row.size(), 9u);
  EXPECT_EQ(rows->back()[0], "18");
  EXPECT_EQ(rows->back()[7], "stopped");
}

}  // namespace
}  // namespace vantrel
