// The system's host lookups on the probes' path take no process-wide lock:
// one slow reverse lookup must not make the other probes wait in line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "platform/posix/resolver_calls.h"

namespace vantrel::platform {
namespace {

constexpr int kCallers = 10;

// A resolver where every call waits until all ten callers are inside it at
// once (or a generous bound passes), and counts how many were.
struct SlowResolver {
  std::mutex mutex;
  std::condition_variable changed;
  int inside = 0;
  int most_inside = 0;

  void Enter() {
    std::unique_lock<std::mutex> lock(mutex);
    most_inside = std::max(most_inside, ++inside);
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(5), [this] { return most_inside >= kCallers; });
    --inside;
  }
};

SlowResolver* slow = nullptr;

int SlowNameInfo(const sockaddr*, socklen_t, char* host, socklen_t host_size, char*, socklen_t, int) {
  slow->Enter();
  std::strncpy(host, "probe.example.org", host_size);
  return 0;
}

int SlowAddrInfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
  slow->Enter();
  return ::getaddrinfo(node, service, hints, result);
}

// Runs call on ten threads and gives the most that were inside the resolver at once.
template <typename Call>
int MostAtOnce(Call call) {
  SlowResolver resolver;
  slow = &resolver;
  std::vector<std::thread> callers;
  std::vector<int> ok(kCallers, 0);
  for (int i = 0; i < kCallers; ++i) callers.emplace_back([&, i] { ok[static_cast<std::size_t>(i)] = call(); });
  for (std::thread& caller : callers) caller.join();
  slow = nullptr;
  EXPECT_EQ(std::count(ok.begin(), ok.end(), 1), kCallers);
  return resolver.most_inside;
}

TEST(SystemResolver, TenLookupsOverlap) {
  ResolverCalls saved = SystemResolverCalls();
  SystemResolverCalls().get_name_info = SlowNameInfo;
  SystemResolverCalls().get_addr_info = SlowAddrInfo;
  struct Case {
    const char* name;
    int (*call)();
  };
  const std::vector<Case> cases = {
      {"reverse lookups",
       [] {
         std::string name;
         return ReverseLookup(0x0100007Fu, &name) && name == "probe.example.org" ? 1 : 0;
       }},
      {"host lookups",
       [] {
         std::uint32_t address = 0;
         return ResolveHost("127.1.2.5", &address) && address == 0x0502017Fu ? 1 : 0;
       }},
  };
  for (const Case& c : cases) EXPECT_EQ(MostAtOnce(c.call), kCallers) << c.name;
  SystemResolverCalls() = saved;
}

}  // namespace
}  // namespace vantrel::platform
