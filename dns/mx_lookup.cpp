#include "dns/mx_lookup.h"

#include <mutex>

#include "dns/system_seam.h"
#include "dns/udp_channel.h"
#include "platform/thread_annotations.h"

namespace vantrel::dns {

namespace {

constexpr std::size_t kMaxServerText = 255;

struct ServerList {
  std::mutex mutex;
  std::vector<std::string> servers VANTREL_GUARDED_BY(mutex);
};

ServerList& Servers() {
  static ServerList* list = new ServerList;
  return *list;
}

std::string FirstServer() {
  ServerList& list = Servers();
  std::lock_guard<std::mutex> lock(list.mutex);
  return list.servers.empty() ? std::string() : list.servers.front();
}

}  // namespace

void SetDnsServerList(const std::vector<std::string>& servers) {
  ServerList& list = Servers();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.servers.clear();
  for (const std::string& server : servers) list.servers.push_back(server.substr(0, kMaxServerText));
}

std::vector<std::string> DnsServerList() {
  ServerList& list = Servers();
  std::lock_guard<std::mutex> lock(list.mutex);
  return list.servers;
}

ExchangeReply ExchangeQuery(const Bytes& query, bool keep_sockets, int wait_ms) {
  ExchangeReply reply;
  if (!keep_sockets) {
    if (!CurrentSystem().start_sockets()) return reply;
    reply.sockets_started = true;
  }
  std::string server = FirstServer();
  if (server.empty()) return reply;

  // A failed open or send is not told apart from silence: either way no reply
  // comes, and the lookup says so.
  UdpChannelHandle channel = OpenUdpChannel(kNoLocalPort, wait_ms);
  SendDatagram(channel.get(), ParseServerAddress(server), kDnsPort, query);
  Datagram datagram = ReceiveDatagram(channel.get());
  CloseChannel(std::move(channel));
  reply.bytes = std::move(datagram.bytes);
  return reply;
}

std::int32_t ReadMxReply(const ExchangeReply& reply, bool keep_sockets, MxRecordList* list) {
  return ReadMxReply(reply.bytes, keep_sockets || !reply.sockets_started, list);
}

}  // namespace vantrel::dns
