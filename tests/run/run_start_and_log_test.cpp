// Whole runs against loopback DNS and SMTP servers: how a run starts or is
// refused, what it logs, and the files it cannot write.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <set>

#include "platform/file.h"
#include "probe/shared_state.h"
#include "tests/run/run_fixture.h"
#include "tests/support/test_network.h"

namespace vantrel::testing {
namespace {

TEST_F(RunTest, TwoRunsGrowTheLogAndTheBadAddressFile) {
  WriteFile("LIST.", "bad@refused.test\r\ngood@good.test\r\n");
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Run(kWriteToFileButton, "LIST."), RunEnd::kCompleted);
    EXPECT_EQ(CrLfLines(ReadFile("LIST.OK")), std::vector<std::string>{"good@good.test"});
  }
  std::vector<std::string> bad = CrLfLines(ReadFile("LIST.BAD"));
  ASSERT_EQ(bad.size(), 4u);
  EXPECT_EQ(bad[0], bad[2]);
  EXPECT_EQ(bad[1], "bad@refused.test");
  EXPECT_EQ(bad[3], "bad@refused.test");

  std::vector<std::string> log = CrLfLines(ReadFile("vantrel.log"));
  std::vector<std::size_t> headers;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i] == std::string(80, '=')) headers.push_back(i);
  }
  ASSERT_EQ(headers.size(), 2u);
  for (std::size_t h : headers) {
    ASSERT_LT(h + 2, log.size());
    const std::string& stamp = log[h + 1];
    ASSERT_EQ(stamp.size(), 19u) << stamp;
    EXPECT_EQ(stamp[2], '-');
    EXPECT_EQ(stamp[5], '-');
    EXPECT_EQ(stamp[10], ' ');
    EXPECT_EQ(stamp[13], ':');
    EXPECT_EQ(log[h + 2], "0 File Input: bad@refused.test");
  }
}

TEST_F(RunTest, ControllerLogLinesOfOneAddressInOrder) {
  WriteFile("MEMBERS.LST", "# list\r\none@good.test\r\n");
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
  std::vector<std::string> expected = {
      "0 File Input: # list",
      "0 Not an email address. No @ sign.",
      "0 File Input: one@good.test",
      "0 Found MX server (" + Host(kGoodHost) + ") for good.test",
      "0 ?Verified as good: one@good.test",
  };
  std::vector<std::string> log = CrLfLines(ReadFile("vantrel.log"));
  auto at = log.begin();
  for (const std::string& line : expected) {
    at = std::find(at, log.end(), line);
    ASSERT_NE(at, log.end()) << "missing or out of order: " << line;
  }
  EXPECT_EQ(dialog_.TaskCell(0, kActivityColumn), "Idle");
  EXPECT_EQ(dialog_.TaskCell(0, kTaskColumn), "");
  for (int row = 1; row < kTaskSlots; ++row) {
    EXPECT_EQ(dialog_.TaskCell(row, kTaskColumn), "") << row;
    EXPECT_EQ(dialog_.TaskCell(row, kActivityColumn), "") << row;
  }
}

TEST_F(RunTest, EmptyListEndsWithZeroCountsAndControlsBack) {
  WriteFile("MEMBERS.LST", "");
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
  EXPECT_EQ(LastResults(), Results(0, 0) + Checked(0, 0, 0, 0));
  EXPECT_TRUE(FileExists("MEMBERS.LST.OK"));
  EXPECT_EQ(ReadFile("MEMBERS.LST.OK"), "");
  EXPECT_EQ(dialog_.StatusText(), "Status: Idle");
  const std::vector<int> order = {kFromBox,      kInputListBox,  kBrowseButton,      kDnsServerControl,
                                  kBodyCheckBox, kRemoveButton,  kSuspendButton,     kWriteToFileButton,
                                  kGoButton,     kAboutButton};
  std::vector<std::pair<int, bool>> calls = dialog_.EnableCalls();
  ASSERT_EQ(calls.size(), 2 * order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(calls[i], std::make_pair(order[i], false));
    EXPECT_EQ(calls[order.size() + i], std::make_pair(order[i], true));
  }
  EXPECT_TRUE(DnsQueries().empty());
}

// A run that cannot start disables nothing and writes nothing.
TEST_F(RunTest, RefusedRunsStartNothing) {
  WriteFile("HELD.LST", "one@good.test\r\n");
  WriteFile("MEMBERS.LST", "one@good.test\r\n");
  auto held = platform::RealFileSystem().OpenRead("HELD.LST");
  ASSERT_NE(held, nullptr);
  // Proxies checked before anything else happens: one refuses our credentials.
  LoopbackTcpServer proxy(Host(30), 1080, [](ServerConnection& peer) {
    peer.Send(std::string("\x05\x02\x01\x01", 4));
    peer.DrainUntilClosed();
  });
  ASSERT_TRUE(proxy.listening());
  const std::string dead = Host(31) + ":1080";
  struct Case {
    std::string list;
    std::string from;
    std::string box_begins;
    std::string proxy = "";
  };
  const std::vector<Case> cases = {
      {"NOPE.LST", "<checker@good.test>",
       "File not found.\r\n\r\nNOPE.LST\r\n\r\nClick the [...] button to\r\nbrowse for the input file."},
      {"HELD.LST", "<checker@good.test>", "Cannot open the input file.\r\n\r\nHELD.LST\r\n"},
      {"MEMBERS.LST", "", "The FROM text holds no e-mail address:\r\n\r\n\r\n"},
      {"MEMBERS.LST", "List owner <owner at example.com>",
       "The FROM text holds no e-mail address:\r\n\r\nList owner <owner at example.com>\r\n"},
      {"MEMBERS.LST", "<@>", "The FROM text holds no e-mail address:\r\n\r\n<@>\r\n"},
      {"MEMBERS.LST", "<checker@good.test>",
       "Cannot use the SOCKS5 proxy.\r\n\r\n" + dead + "\r\n\r\nNo connection to the proxy.", "socks5://" + dead},
      {"MEMBERS.LST", "<checker@good.test>",
       "Cannot use the SOCKS5 proxy.\r\n\r\n" + Host(30) + ":1080\r\n\r\nThe proxy refused the user name or password.",
       "socks5://me:secret@" + Host(30) + ":1080"},
      {"MEMBERS.LST", "<checker@good.test>", "The PROXY= line of Vantrel.INI cannot be used:\r\n\r\nonly socks5://",
       "socks4://me:secret@h:1080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list + " " + c.from + " " + c.proxy);
    dialog_.SetText(kFromBox, c.from);
    dialog_.SetText(kProxySetting, c.proxy);
    ASSERT_EQ(Run(kRemoveButton, c.list), RunEnd::kRefused);
    std::vector<FakeMainDialog::MessageBox> boxes = dialog_.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text.rfind(c.box_begins, 0), 0u) << boxes.back().text;
    EXPECT_EQ(boxes.back().text.find("secret"), std::string::npos);
    EXPECT_EQ(boxes.back().caption, "Error");
    EXPECT_EQ(boxes.back().icon, MessageIcon::kStop);
  }
  EXPECT_TRUE(dialog_.EnableCalls().empty());
  EXPECT_FALSE(FileExists("vantrel.log"));
  for (const char* name : {"NOPE.LST.OK", "HELD.LST.OK", "MEMBERS.LST.OK"}) EXPECT_FALSE(FileExists(name)) << name;
  EXPECT_EQ(Shared().running_tasks.load(), 0);
  EXPECT_TRUE(DnsQueries().empty());
}

TEST_F(RunTest, UnwritableResultListIsNotReportedAsSuccess) {
  WriteFile("MEMBERS.LST", "one@good.test\r\n");
  WriteFile("MEMBERS.LST.OK", "previous\r\n");
  auto held = platform::RealFileSystem().OpenAppend("MEMBERS.LST.OK");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
  std::string text = LastResults();
  EXPECT_EQ(text.rfind(Results(1, 0), 0), 0u) << text;
  EXPECT_NE(text.find("WARNING: Not every line could be written to MEMBERS.LST.OK"), std::string::npos) << text;
  EXPECT_EQ(ReadFile("MEMBERS.LST.OK"), "previous\r\n");
}

TEST_F(RunTest, UnwritableBadAddressFileKeepsTheAddress) {
  WriteFile("MEMBERS.LST", "bad@refused.test\r\n");
  WriteFile("MEMBERS.LST.BAD", "");
  auto held = platform::RealFileSystem().OpenAppend("MEMBERS.LST.BAD");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(Run(kWriteToFileButton), RunEnd::kCompleted);
  EXPECT_EQ(CrLfLines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{"bad@refused.test"});
  EXPECT_NE(LastResults().find("WARNING: Some bad addresses could not be written to MEMBERS.LST.BAD"),
            std::string::npos);
}

}  // namespace
}  // namespace vantrel::testing
