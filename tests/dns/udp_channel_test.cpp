#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dns/udp_channel.h"
#include "tests/dns/fake_system.h"
#include "tests/support/loopback.h"

namespace vantrel::dns {
namespace {

std::uint32_t Address(const std::string& dotted) {
  in_addr parsed{};
  ::inet_pton(AF_INET, dotted.c_str(), &parsed);
  return parsed.s_addr;
}

// The address as it lies in memory: first number in the lowest byte.
std::vector<int> InMemory(std::uint32_t address) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

TEST(ParseServerAddress, ReadsFourDottedNumbers) {
  struct Case {
    std::string text;
    std::vector<int> bytes;
  };
  const std::vector<Case> cases = {
      {"127.0.0.1", {127, 0, 0, 1}},
      {"10.0.300.1", {10, 0, 44, 2}},       // 300 spills into the fourth byte
      {"256.0.0.0", {0, 1, 0, 0}},
      {" 1. 2.3x.4", {1, 2, 3, 4}},         // blanks before, junk after a number
      {"a.b.c.d", {0, 0, 0, 0}},            // parts without a number count 0
      {"...", {0, 0, 0, 0}},
      {"1.2.3", {0, 0, 0, 0}},              // two dots
      {"1.2.3.4.5", {0, 0, 0, 0}},          // four dots
      {"", {0, 0, 0, 0}},
      {"4294967297.0.0.0", {1, 0, 0, 0}},   // kept within 32 bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InMemory(ParseServerAddress(c.text)), c.bytes) << '"' << c.text << '"';
  }
}

TEST(UdpChannel, PairsEveryStartWithOneRelease) {
  FakeSystem system;
  UdpChannelHandle channel = OpenUdpChannel(system, kNoLocalPort, 100);
  ASSERT_TRUE(channel);
  EXPECT_EQ(system.starts - system.stops, 1) << "an open channel holds one start";
  CloseChannel(std::move(channel));
  EXPECT_EQ(system.starts, system.stops);
}

TEST(UdpChannel, AFailedStartLeavesNoChannelAndNothingToRelease) {
  FakeSystem system(Hosts{}, /*sockets_start=*/false);
  UdpChannelHandle channel = OpenUdpChannel(system, kNoLocalPort, 100);
  EXPECT_FALSE(channel);
  CloseChannel(std::move(channel));
  EXPECT_EQ(system.stops, 0);
  // Work on the missing channel does nothing and says so.
  EXPECT_EQ(SendDatagram(channel.get(), Address("127.0.0.1"), 53, Bytes{1}), ChannelStatus::kNoChannel);
  EXPECT_EQ(ReceiveDatagram(channel.get()).status, ChannelStatus::kNoChannel);
}

TEST(UdpChannel, AddressZeroIsNoDestination) {
  FakeSystem system;
  UdpChannelHandle channel = OpenUdpChannel(system, kNoLocalPort, 10);
  ASSERT_TRUE(channel);
  EXPECT_EQ(SendDatagram(channel.get(), 0, 53, Bytes{1, 2, 3}), ChannelStatus::kNoAddress);
}

TEST(UdpChannel, ReceiveWithoutADatagramComesBackEmptyAfterItsWait) {
  FakeSystem system;
  UdpChannelHandle channel = OpenUdpChannel(system, kNoLocalPort, 50);
  ASSERT_TRUE(channel);
  Datagram datagram = ReceiveDatagram(channel.get());
  EXPECT_EQ(datagram.status, ChannelStatus::kTimeout);
  EXPECT_TRUE(datagram.bytes.empty());
}

// A datagram sent from the given loopback address to port on 127.0.0.1.
void SendFrom(const std::string& from, std::uint16_t port, const std::string& bytes, std::uint16_t* from_port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = Address(from);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  socklen_t size = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
  *from_port = ntohs(local.sin_port);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = Address("127.0.0.1");
  ASSERT_EQ(::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

TEST(UdpChannel, TakesADatagramFromAnySender) {
  FakeSystem system;
  // Bound on all addresses; the test runs in a namespace of its own, so the port is free.
  const std::uint16_t port = 40053;
  UdpChannelHandle channel = OpenUdpChannel(system, port, 10000);
  ASSERT_TRUE(channel);

  struct Case {
    const char* name;
    std::string bytes;
    bool end_of_data;
  };
  const std::vector<Case> cases = {
      {"some bytes", std::string("\x12\x34\0\x01", 4), false},
      {"a datagram of 0 bytes", "", true},
      {"the largest datagram", std::string(65507, 'z'), false},
  };
  for (const Case& c : cases) {
    std::string sender = testing::LoopbackAddress(9);
    std::uint16_t sender_port = 0;
    SendFrom(sender, port, c.bytes, &sender_port);
    Datagram datagram = ReceiveDatagram(channel.get());
    EXPECT_EQ(datagram.status, ChannelStatus::kOk) << c.name;
    EXPECT_EQ(std::string(datagram.bytes.begin(), datagram.bytes.end()), c.bytes) << c.name;
    EXPECT_EQ(datagram.from_address, Address(sender)) << c.name;
    EXPECT_EQ(datagram.from_port, sender_port) << c.name;
    EXPECT_EQ(channel->end_of_data, c.end_of_data) << c.name;
  }
}

}  // namespace
}  // namespace vantrel::dns
