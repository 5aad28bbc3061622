#include "probe/local_host_name.h"

#include <gtest/gtest.h>

#include "tests/support/test_network.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kAddress = 0x0A00000Au;   // 10.0.0.10
constexpr std::uint32_t kLoopback = 0x0101007Fu;  // 127.0.1.1

struct NameCase {
  const char* name;
  bool has_address;
  std::uint32_t address;
  bool reverse_ok;
  std::string reverse_name;
  std::string host_name;
  std::string canonical_name;  // empty: the resolver has none
  std::string expected;
};

TEST(LocalHostName, TheFullyQualifiedNameWhereOneCanBeFound) {
  const std::vector<NameCase> cases = {
      {"reverse name", true, kAddress, true, "mail.example.org", "workstation", "", "mail.example.org"},
      {"no address: the host name", false, 0, true, "unused", "workstation", "", "workstation"},
      {"address 0: the host name", true, 0, true, "unused", "workstation", "", "workstation"},
      {"a name that would split the command", true, kAddress, true, "evil\r\nRCPT TO:<x@y>", "bad name", "", ""},
      {"a name with a blank", true, kAddress, true, "two words", "", "", ""},
#ifndef _WIN32
      {"reverse says localhost: the canonical name", true, kLoopback, true, "localhost", "workstation",
       "workstation.example.org", "workstation.example.org"},
      {"reverse says localhost.localdomain, no canonical name: the host name", true, kLoopback, true,
       "localhost.localdomain", "workstation", "", "workstation"},
      {"reverse lookup fails: the canonical name", true, kAddress, false, "", "workstation",
       "workstation.example.org", "workstation.example.org"},
      {"a bare reverse name loses to a canonical one", true, kAddress, true, "workstation", "workstation",
       "workstation.example.org", "workstation.example.org"},
      {"the canonical name is localhost too: the host name", true, kLoopback, true, "localhost", "workstation",
       "localhost.localdomain", "workstation"},
      {"nothing better than localhost", true, kLoopback, true, "localhost", "localhost", "", "localhost"},
#else
      {"reverse lookup fails: empty", true, kAddress, false, "", "workstation", "", ""},
#endif
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
    network.canonical_name = [&](const std::string& host, std::string* name) {
      EXPECT_EQ(host, c.host_name);
      *name = c.canonical_name;
      return !c.canonical_name.empty();
    };
    network.host_name = [&] { return c.host_name; };
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
