#include "shell/console/console_view.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace vantrel::console {
namespace {

using Clock = ConsoleView::Clock;

// The view's output and a clock the test moves by hand.
struct Harness {
  std::string out, err;
  Clock::time_point now{};
  ConsoleView view;

  explicit Harness(bool tty, int width = 80)
      : view({[this](std::string_view s) { out += s; }, [this](std::string_view s) { err += s; }}, tty, width,
             [this] { return now; }) {}
  void Advance(int ms) { now += std::chrono::milliseconds(ms); }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

TEST(ConsoleView, PlainOutputPrintsEachStatusOnceAndRoundStatusesAtMostOnceASecond) {
  Harness h(false);
  h.Advance(5000);
  struct Step {
    int after_ms;
    std::string status;
  };
  const std::vector<Step> steps = {
      {0, "Status: Resolving example.com"},
      {0, "Status: Resolving example.com"},  // unchanged: not again
      {0, "Status: 3 tasks running  (10:00:00)"},
      {10, "Status: Writing log file."},      // never printed
      {10, "Status: 3 tasks running  (10:00:00)"},
      {300, "Status: 3 tasks running  (10:00:01)"},  // same count within the second
      {10, "Status: 2 tasks running  (10:00:01)"},   // the count changed
      {990, "Status: 2 tasks running  (10:00:02)"},
      {10, "Status: 2 tasks running  (10:00:02)"},
      {0, "Status: Idle"},
      {0, "Status: Terminating all active tasks."},
  };
  for (const auto& step : steps) {
    h.Advance(step.after_ms);
    h.view.SetStatus(step.status);
  }
  h.view.SetCell(0, 1, "not shown off a terminal");
  h.view.Refresh();
  EXPECT_EQ(Lines(h.out), (std::vector<std::string>{
                              "Status: Resolving example.com",
                              "Status: 3 tasks running  (10:00:00)",
                              "Status: 2 tasks running  (10:00:01)",
                              "Status: 2 tasks running  (10:00:02)",
                              "Status: Idle",
                              "Status: Terminating all active tasks.",
                          }));
}

TEST(ConsoleView, BoxesPrintCaptionAndTextWithTerminalLineBreaks) {
  Harness h(false);
  h.view.ShowBox("I think everything is done.\r\n\r\nAddresses in master list: 3", "Results",
                 MessageIcon::kInformation);
  h.view.ShowBox("File not found.\r\n\r\nx.lst\r\n\r\nClick the [...] button to\r\nbrowse for the input file.",
                 "Error", MessageIcon::kStop);
  EXPECT_EQ(h.out, "\n[Results]\nI think everything is done.\n\nAddresses in master list: 3\n");
  EXPECT_EQ(h.err,
            "\n[Error]\nFile not found.\n\nx.lst\n\nClick the [...] button to\nbrowse for the input file.\n");
}

TEST(ConsoleView, TerminalPanelIsRedrawnInPlaceAndCutToTheWidth) {
  Harness h(true, 30);
  h.Advance(1000);
  h.view.SetStatus("Status: 1 tasks running  (10:00:00)");
  std::string first = h.out;
  std::vector<std::string> lines = Lines(first);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "\r\x1b[2KTask        Activity");
  EXPECT_EQ(lines[1], "\r\x1b[2K            -Idle-");
  EXPECT_EQ(lines[2], "\r\x1b[2K            ");
  EXPECT_EQ(lines[11], "\r\x1b[2KStatus: 1 tasks running  (10:");  // 29 characters

  // Changes within the redraw gap wait for the dialog's next message step.
  h.out.clear();
  h.view.SetCell(3, 0, "3");
  h.view.SetCell(3, 1, "RCPT TO:\x1b[31m<a@b>");
  EXPECT_EQ(h.out, "");
  h.view.Refresh();
  EXPECT_EQ(h.out, "");
  h.Advance(50);
  h.view.Refresh();
  lines = Lines(h.out);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "\x1b[12A\r\x1b[2KTask        Activity");
  EXPECT_EQ(lines[4], "\r\x1b[2K3           RCPT TO:?[31m<a@b");

  // A box finishes the panel: it is drawn once more if needed, and later
  // status changes become plain lines below the box.
  h.out.clear();
  h.view.SetCell(3, 1, "QUIT");
  h.view.ShowBox("There are 1 tasks still running.", "Warning", MessageIcon::kNone);
  h.Advance(5000);
  h.view.SetStatus("Status: Idle");
  h.view.SetCell(3, 1, "ignored");
  h.view.Refresh();
  lines = Lines(h.out);
  ASSERT_EQ(lines.size(), 12u + 3u + 1u);
  EXPECT_EQ(lines[4], "\r\x1b[2K3           QUIT");
  EXPECT_EQ(lines[12], "");
  EXPECT_EQ(lines[13], "[Warning]");
  EXPECT_EQ(lines[14], "There are 1 tasks still running.");
  EXPECT_EQ(lines[15], "Status: Idle");
}

TEST(ConsoleView, NoTextCanReachTheTerminalAsControlCharacters) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"},
      {"a\x1b[2Jb", "a?[2Jb"},
      {"cr\rlf\ntab\t", "cr?lf?tab?"},
      {std::string("nul\0x", 5), "nul?x"},
      {"del\x7f", "del?"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},
      {"c1 \x9b" "31m csi", "c1 ?31m csi"},              // a stray C1 byte, CSI on many terminals
      {"\x80\x9f\xa0\xe9", "??\xa0\xe9"},                  // Latin-1 text keeps its letters
      {"utf8 c1 \xc2\x9b" "1m", "utf8 c1 ?1m"},             // the same control, UTF-8 encoded
      {"\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80", "\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80"},  // NBSP, euro, emoji
      {"cut \xe2\x82", "cut \xe2?"},                        // a character cut short is not one
      {"overlong \xe0\x80\x9b", "overlong \xe0??"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(Printable(text), shown);

  Harness h(false);
  h.view.SetStatus("Status: Resolving evil\x1b]0;owned\x07.example");
  h.view.ShowBox("File not found.\r\n\r\nlist\x1b[1m.lst", "Error", MessageIcon::kStop);
  EXPECT_EQ(h.out, "Status: Resolving evil?]0;owned?.example\n");
  EXPECT_EQ(h.err, "\n[Error]\nFile not found.\n\nlist?[1m.lst\n");
}

TEST(ConsoleView, FittingToTheWidthNeverSplitsACharacter) {
  const std::string euro = "\xe2\x82\xac";
  const std::vector<std::tuple<std::string, std::size_t, std::string>> cases = {
      {"abcdef", 4, "abcd"},
      {"ab" + euro + euro, 3, "ab" + euro},
      {"ab" + euro + euro, 4, "ab" + euro + euro},
      {euro + "\xe9x", 2, euro + "\xe9"},  // a lone Latin-1 byte is one column
      {"ab", 10, "ab"},
  };
  for (const auto& [text, columns, fitted] : cases) EXPECT_EQ(FitColumns(text, columns), fitted) << text;
}

TEST(ConsoleView, ProgressLineTellsShareCountsAndTimeLeft) {
  ProgressCounts p{250, 1000, 40, 30, 5, 3, 2};
  EXPECT_EQ(ProgressText(p, std::chrono::seconds(90), 60),
            "25%  40 lines  good 30  bad 5  try again 3  not checked 2  0:01:30 elapsed, 0:04:30 left");
  EXPECT_EQ(ProgressText(p, std::chrono::seconds(90), 115),
            "[#####..................]  25%  40 lines  good 30  bad 5  try again 3  not checked 2  0:01:30 elapsed, "
            "0:04:30 left");
  p.bytes_read = 1200;  // the list grew while read: never past the end
  EXPECT_EQ(ProgressText(p, std::chrono::seconds(3725), 0),
            "100%  40 lines  good 30  bad 5  try again 3  not checked 2  1:02:05 elapsed, 0:00:00 left");
  EXPECT_EQ(ProgressText(ProgressCounts{7, 0, 1}, std::chrono::seconds(1), 200),
            "--%  1 lines  good 0  bad 0  try again 0  not checked 0  0:00:01 elapsed, ? left");
}

TEST(ConsoleView, OffATerminalProgressIsALineEveryTenSecondsAndQuietShowsOnlyResults) {
  Harness plain(false);
  Harness quiet(false);
  ConsoleView quiet_view({[&](std::string_view s) { quiet.out += s; }, [&](std::string_view s) { quiet.err += s; }},
                         ConsoleView::Mode::kQuiet, [] { return 80; }, [&] { return quiet.now; });
  for (int second = 0; second <= 25; ++second) {
    ProgressCounts p{second, 25, second};
    plain.view.SetProgress(p);
    quiet_view.SetProgress(p);
    quiet_view.SetStatus("Status: " + std::to_string(second) + " tasks running  (10:00:00)");
    plain.Advance(1000);
    quiet.Advance(1000);
  }
  EXPECT_EQ(Lines(plain.out), (std::vector<std::string>{
                                  "Progress: 40%  10 lines  good 0  bad 0  try again 0  not checked 0  0:00:10 "
                                  "elapsed, 0:00:15 left",
                                  "Progress: 80%  20 lines  good 0  bad 0  try again 0  not checked 0  0:00:20 "
                                  "elapsed, 0:00:05 left",
                              }));
  quiet_view.ShowBox("text", "About Vantrel", MessageIcon::kNone);
  quiet_view.ShowBox("There are 1 tasks still running.", "Warning", MessageIcon::kNone);
  quiet_view.ShowBox("Addresses in master list: 3", "Results", MessageIcon::kInformation);
  quiet_view.ShowBox("File not found.", "Error", MessageIcon::kStop);
  EXPECT_EQ(quiet.out, "\n[Warning]\nThere are 1 tasks still running.\n\n[Results]\nAddresses in master list: 3\n");
  EXPECT_EQ(quiet.err, "\n[Error]\nFile not found.\n");
}

TEST(RoundStatusCount, RecognisesOnlyThePerRoundStatus) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Status: 10 tasks running  (23:59:59)", "10"},
      {"Status: 0 tasks running  (00:00:00)", "0"},
      {"Status: tasks running  (00:00:00)", ""},
      {"Status: 3 tasks running (00:00:00)", ""},
      {"Status: 3 tasks running  (00:00:00", ""},
      {"3 tasks running  (00:00:00)", ""},
      {"Status: Resolving 3 tasks running  (x)", ""},
  };
  for (const auto& [status, count] : cases) EXPECT_EQ(RoundStatusCount(status), count) << status;
}

}  // namespace
}  // namespace vantrel::console
