#include "dns/udp_channel.h"


namespace vantrel::dns {

namespace {

std::uint32_t LeadingNumber(const std::string& part) {
  std::size_t at = part.find_first_not_of(" \t");
  std::uint32_t value = 0;
  for (; at < part.size() && part[at] >= '0' && part[at] <= '9'; ++at) {
    value = value * 10u + static_cast<std::uint32_t>(part[at] - '0');
  }
  return value;
}

}  // namespace

std::uint32_t ParseServerAddress(const std::string& text) {
  std::size_t dots = 0;
  for (char c : text) dots += (c == '.');
  if (dots != 3) return 0;
  std::uint32_t address = 0;
  std::uint32_t scale = 1;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    std::size_t end = text.find('.', start);
    if (end == std::string::npos) end = text.size();
    address += LeadingNumber(text.substr(start, end - start)) * scale;
    scale <<= 8;  // the fourth shift wraps to 0, which is never used
    start = end + 1;
  }
  return address;
}

UdpChannelHandle OpenUdpChannel(platform::Network& network, int local_port, int wait_ms) {
  std::unique_ptr<platform::DatagramSocket> socket = network.OpenUdp(local_port);
  if (socket == nullptr) return UdpChannelHandle();
  UdpChannelHandle channel = std::make_unique<UdpChannel>();
  channel->socket = std::move(socket);
  channel->wait_ms = wait_ms;
  channel->buffer.resize(kReceiveBufferSize);
  return channel;
}

ChannelStatus SendDatagram(UdpChannel* channel, std::uint32_t address, std::uint16_t port,
                           const Bytes& bytes) {
  if (channel == nullptr) return ChannelStatus::kNoChannel;
  channel->destination_address = address;
  channel->destination_port = port;
  // Some systems take 0.0.0.0 for this computer; a server text that did not
  // read as an address must not reach anything.
  if (address == 0) return ChannelStatus::kNoAddress;
  platform::IoResult sent =
      channel->socket->SendTo(address, port, reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (sent.status != platform::IoStatus::kOk) return ChannelStatus::kFailed;
  if (sent.count < bytes.size()) return ChannelStatus::kShortSend;
  return ChannelStatus::kOk;
}

Datagram ReceiveDatagram(UdpChannel* channel) {
  return ReceiveDatagram(channel, channel != nullptr ? channel->wait_ms : 0);
}

Datagram ReceiveDatagram(UdpChannel* channel, int wait_ms) {
  Datagram datagram;
  if (channel == nullptr) return datagram;
  channel->end_of_data = false;
  platform::IoResult got =
      channel->socket->ReceiveFrom(reinterpret_cast<char*>(channel->buffer.data()), channel->buffer.size(),
                                   wait_ms, &datagram.from_address, &datagram.from_port);
  if (got.status != platform::IoStatus::kOk) {
    datagram.status = got.status == platform::IoStatus::kTimeout ? ChannelStatus::kTimeout : ChannelStatus::kFailed;
    return datagram;
  }
  channel->end_of_data = (got.count == 0);
  datagram.bytes.assign(channel->buffer.begin(),
                        channel->buffer.begin() + static_cast<std::ptrdiff_t>(got.count));
  datagram.status = ChannelStatus::kOk;
  return datagram;
}

void CloseChannel(UdpChannelHandle channel) { channel.reset(); }

}  // namespace vantrel::dns
