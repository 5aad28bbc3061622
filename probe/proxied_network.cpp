#include "probe/proxied_network.h"

#include "platform/net.h"
#include "probe/shared_state.h"
#include "probe/socks5.h"

namespace vantrel {

std::unique_ptr<platform::ByteStream> ProxiedNetwork::ConnectTcp(std::uint32_t address, std::uint16_t port,
                                                                 int wait_ms, const std::function<bool()>& give_up) {
  SocksOutcome outcome;
  std::unique_ptr<platform::ByteStream> stream =
      OpenSocksTunnel(direct_, proxy_, address, port, wait_ms, give_up, &outcome);
  if (stream == nullptr && outcome.failure != SocksFailure::kStopped) {
    const std::string words = SocksWords(outcome);
    NoteProxyFailure(words);
    AppendLogLine(std::to_string(slot_) + " The proxy " + proxy_.HostPort() + " did not connect to " +
                  platform::AddressText(address) + ":" + std::to_string(port) + ": " + words);
  }
  return stream;
}

}  // namespace vantrel
