#include "dns/udp_channel.h"

#include "dns/system_seam.h"

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

void ChannelCloser::operator()(UdpChannel* channel) const {
  platform::CloseSocket(channel->socket);
  delete channel;
  CurrentSystem().stop_sockets();
}

UdpChannelHandle OpenUdpChannel(int local_port, int wait_ms) {
  const SystemSeam& system = CurrentSystem();
  if (!system.start_sockets()) return UdpChannelHandle();
  platform::SocketHandle socket = platform::OpenUdp(local_port);
  if (socket == platform::kNoSocket) {
    system.stop_sockets();
    return UdpChannelHandle();
  }
  UdpChannelHandle channel(new UdpChannel);
  channel->socket = socket;
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
  if (platform::WaitWritable(channel->socket, -1) != platform::WaitResult::kReady) return ChannelStatus::kFailed;
  long sent = platform::SendDatagram(channel->socket, address, port,
                                     reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (sent < 0) return ChannelStatus::kFailed;
  if (static_cast<std::size_t>(sent) < bytes.size()) return ChannelStatus::kShortSend;
  return ChannelStatus::kOk;
}

Datagram ReceiveDatagram(UdpChannel* channel) {
  Datagram datagram;
  if (channel == nullptr) return datagram;
  channel->end_of_data = false;
  platform::WaitResult ready = platform::WaitReadable(channel->socket, channel->wait_ms);
  if (ready != platform::WaitResult::kReady) {
    datagram.status = ready == platform::WaitResult::kTimeout ? ChannelStatus::kTimeout : ChannelStatus::kFailed;
    return datagram;
  }
  long got = platform::ReceiveDatagram(channel->socket, reinterpret_cast<char*>(channel->buffer.data()),
                                       channel->buffer.size(), &datagram.from_address, &datagram.from_port);
  if (got < 0) {
    datagram.status = ChannelStatus::kFailed;
    return datagram;
  }
  channel->end_of_data = (got == 0);
  datagram.bytes.assign(channel->buffer.begin(), channel->buffer.begin() + got);
  datagram.status = ChannelStatus::kOk;
  return datagram;
}

void CloseChannel(UdpChannelHandle channel) { channel.reset(); }

}  // namespace vantrel::dns
