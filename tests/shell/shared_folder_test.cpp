// Two vantrel processes in one folder at once, each on its own list: both
// append to the one run log, and in Remove mode that log is the only record
// of a removed address, so neither may lose the other's lines. Needs the
// private network namespace of tests/run-in-netns.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/shell/console_process.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackAddress;

TEST(SharedFolder, TwoRunsAtOnceLogEveryRemovalOfBoth) {
  testing::FakeDnsServer dns(LoopbackAddress(1), testing::MxZoneResponder({{"no.test", {{10, LoopbackAddress(2)}}}}));
  testing::FakeSmtpServer refusing(LoopbackAddress(2),
                                   {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "550 no such user\r\n"});
  ASSERT_TRUE(dns.listening() && refusing.listening());

  testing::Console first;
  testing::Console second(first, "second");
  const fs::path& folder = first.folder();
  constexpr int kPerList = 200;
  std::vector<std::string> addresses;
  for (const char* list : {"first", "second"}) {
    std::ofstream out(folder / (std::string(list) + ".lst"), std::ios::binary);
    for (int i = 0; i < kPerList; ++i) {
      addresses.push_back(std::string(list) + std::to_string(i) + "@no.test");
      out << addresses.back() << "\r\n";
    }
  }

  const std::vector<std::pair<testing::Console*, std::string>> runs = {{&first, "first"}, {&second, "second"}};
  for (const auto& [console, list] : runs) {
    console->Start({"--dns", LoopbackAddress(1), "--list", list + ".lst", "--errors", "remove", "--from",
                    "<me@vantrel.test>"});
  }
  for (const auto& run : runs) EXPECT_EQ(run.first->Wait(std::chrono::seconds(60)), 0);

  std::string log = first.File("vantrel.log");
  for (const std::string& address : addresses) {
    EXPECT_NE(log.find(" !I think this is a bad address: 500 Remote server (" + LoopbackAddress(2) +
                       ") does not accept mail to \"" + address + "\" " + address + "\r\n"),
              std::string::npos)
        << address << " was removed but not logged";
  }
  for (const auto& [console, list] : runs) {
    std::string out = console->Stdout() + console->Stderr();
    EXPECT_NE(out.find("Bad addresses found: " + std::to_string(kPerList) + "\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(first.File(list + ".lst.OK"), "");
  }
}

}  // namespace
}  // namespace vantrel
