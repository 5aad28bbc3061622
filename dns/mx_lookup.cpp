#include "dns/mx_lookup.h"

#include <algorithm>
#include <chrono>

#include "dns/udp_channel.h"

namespace vantrel::dns {

namespace {

constexpr std::size_t kMaxServerText = 255;

}  // namespace

Bytes ExchangeQuery(platform::Network& network, const std::string& server, const Bytes& query, int wait_ms,
                    const StopCheck& stopped) {
  using Clock = std::chrono::steady_clock;
  if (server.empty()) return Bytes();
  // A failed open or send is not told apart from silence: either way no reply
  // comes, and the lookup says so after its wait.
  UdpChannelHandle channel = OpenUdpChannel(network, kNoLocalPort, wait_ms);
  if (channel == nullptr) return Bytes();
  const std::uint32_t address = ParseServerAddress(server.substr(0, kMaxServerText));
  SendDatagram(channel.get(), address, kDnsPort, query);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(wait_ms, 0));
  for (;;) {
    if (stopped && stopped()) return Bytes();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Bytes();
    Datagram datagram = ReceiveDatagram(channel.get(), static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
    if (datagram.status == ChannelStatus::kTimeout) continue;
    if (datagram.status != ChannelStatus::kOk) return Bytes();
    if (datagram.from_address == address && datagram.from_port == kDnsPort && AnswersQuery(query, datagram.bytes)) {
      return std::move(datagram.bytes);
    }
  }
}

}  // namespace vantrel::dns
