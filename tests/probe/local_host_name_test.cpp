#include "probe/local_host_name.h"

#include <gtest/gtest.h>

#include <iostream>

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
    int starts = 0;
    int stops = 0;
    std::uint32_t asked = 0;
    platform::NetCalls calls = platform::PlatformNetCalls();
    calls.start_sockets = [&] {
      ++starts;
      return true;
    };
    calls.stop_sockets = [&] { ++stops; };
    calls.first_local_address = [&](std::uint32_t* address) {
      *address = c.address;
      return c.has_address;
    };
    calls.reverse_lookup = [&](std::uint32_t address, std::string* name) {
      asked = address;
      *name = c.reverse_name;
      return c.reverse_ok;
    };
    calls.host_name = [] { return std::string("workstation"); };
    EXPECT_EQ(LocalHostName(calls), c.expected);
    if (c.address != 0) {
      EXPECT_EQ(asked, c.address);
    }
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 1);
  }
}

// Mail servers refuse "HELO" without a name, so this machine must have one.
// Inside the test namespace only the hosts file can answer.
TEST(LocalHostName, ThisMachineHasOne) {
  std::string name = LocalHostName();
  std::cout << "local host name: " << name << "\n";
  EXPECT_FALSE(name.empty());
}

}  // namespace
}  // namespace vantrel
