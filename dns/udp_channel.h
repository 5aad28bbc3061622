// The resolver's socket layer: the DNS server text as an IPv4 address, and a
// UDP channel that sends one datagram and waits a bounded time for one back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dns/dns_codec.h"
#include "platform/network.h"

namespace vantrel::dns {

inline constexpr std::size_t kReceiveBufferSize = 65536;
inline constexpr int kNoLocalPort = -1;

// Four dot-separated parts, each the decimal number at its start after any
// blanks (0 when it has none), as first + second * 256 + third * 65536 +
// fourth * 16777216 in 32 bits: the first number lands in the lowest byte, and
// a part above 255 spills into the next. 0 unless there are exactly three dots.
std::uint32_t ParseServerAddress(const std::string& text);

struct UdpChannel {
  std::unique_ptr<platform::DatagramSocket> socket;
  int wait_ms = 0;
  std::uint32_t destination_address = 0;
  std::uint16_t destination_port = 0;
  bool end_of_data = false;  // the last receive got a datagram of 0 bytes
  Bytes buffer;
};

// The socket holds the channel's start-up of the sockets library.
using UdpChannelHandle = std::unique_ptr<UdpChannel>;

enum class ChannelStatus {
  kOk,
  kNoChannel,       // the open had failed; nothing was done
  kNoAddress,       // address 0 is no destination; nothing was sent
  kFailed,          // the system refused the send or the receive
  kShortSend,       // fewer bytes left than were given
  kTimeout,         // no datagram within the channel's wait
};

// Makes an IPv4 datagram socket through network, bound to local_port when it
// is not kNoLocalPort. Null on failure, with nothing left open or started.
UdpChannelHandle OpenUdpChannel(platform::Network& network, int local_port, int wait_ms);

// All the bytes as one datagram, after waiting without limit until the socket
// can take it.
ChannelStatus SendDatagram(UdpChannel* channel, std::uint32_t address, std::uint16_t port,
                           const Bytes& bytes);

struct Datagram {
  ChannelStatus status = ChannelStatus::kNoChannel;
  Bytes bytes;  // empty unless a datagram came
  std::uint32_t from_address = 0;
  std::uint16_t from_port = 0;  // host order
};

// The first datagram to arrive within the channel's wait (or within wait_ms),
// from any sender: telling the reply from strays is the lookup's business.
Datagram ReceiveDatagram(UdpChannel* channel);
Datagram ReceiveDatagram(UdpChannel* channel, int wait_ms);

void CloseChannel(UdpChannelHandle channel);

}  // namespace vantrel::dns
