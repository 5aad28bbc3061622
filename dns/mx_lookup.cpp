#include "dns/mx_lookup.h"

#include "dns/udp_channel.h"

namespace vantrel::dns {

namespace {

constexpr std::size_t kMaxServerText = 255;

}  // namespace

Bytes ExchangeQuery(platform::Network& network, const std::string& server, const Bytes& query, int wait_ms) {
  if (server.empty()) return Bytes();
  // A failed open or send is not told apart from silence: either way no reply
  // comes, and the lookup says so.
  UdpChannelHandle channel = OpenUdpChannel(network, kNoLocalPort, wait_ms);
  if (channel == nullptr) return Bytes();
  SendDatagram(channel.get(), ParseServerAddress(server.substr(0, kMaxServerText)), kDnsPort, query);
  Datagram datagram = ReceiveDatagram(channel.get());
  CloseChannel(std::move(channel));
  return std::move(datagram.bytes);
}

}  // namespace vantrel::dns
