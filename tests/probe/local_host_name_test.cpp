#include "probe/local_host_name.h"

#include <gtest/gtest.h>

#include "tests/support/test_network.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kAddress = 0x0A00000Au;  // 10.0.0.10

struct NameCase {
  const char* name;
  bool has_address;
  std::uint32_t address;
  bool reverse_ok;
  std::string reverse_name;
  std::string expected;
};

TEST(LocalHostName, ReverseLooksUpTheFirstAddressOrFallsBackToTheHostName) {
  const std::vector<NameCase> cases = {
      {"reverse name", true, kAddress, true, "mail.example.org", "mail.example.org"},
      {"no address: the host name", false, 0, true, "unused", "workstation"},
      {"address 0: the host name", true, 0, true, "unused", "workstation"},
      {"reverse lookup fails: empty", true, kAddress, false, "", ""},
      {"a name that would split the command", true, kAddress, true, "evil\r\nRCPT TO:<x@y>", ""},
      {"a name with a blank", true, kAddress, true, "two words", ""},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint32_t asked = 0;
    testing::TestNetwork network;
    network.start_sockets = [] { return true; };
    network.first_local_address = [&](std::uint32_t* address) {
      *address = c.address;
      return c.has_address;
    };
    network.reverse_lookup = [&](std::uint32_t address, std::string* name) {
      asked = address;
      *name = c.reverse_name;
      return c.reverse_ok;
    };
    network.host_name = [] { return std::string("workstation"); };
    EXPECT_EQ(LocalHostName(network), c.expected);
    if (c.address != 0) {
      EXPECT_EQ(asked, c.address);
    }
    EXPECT_EQ(network.starts.load(), 1);
    EXPECT_EQ(network.stops.load(), 1);
  }
}

}  // namespace
}  // namespace vantrel
