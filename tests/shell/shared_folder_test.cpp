// Two vantrel processes in one folder at once, each on its own list: both
// append to the one run log, and in Remove mode that log is the only record
// of a removed address, so neither may lose the other's lines. Needs the
// private network namespace of tests/run-in-netns.sh.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"

extern char** environ;

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackAddress;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts the program in folder with its output in folder/.out-<tag>.
pid_t Start(const fs::path& folder, const std::string& tag, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), VANTREL_CONSOLE_PATH);
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::string out = (folder / (".out-" + tag)).string();
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  fs::path here = fs::current_path();
  fs::current_path(folder);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  fs::current_path(here);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(SharedFolder, TwoRunsAtOnceLogEveryRemovalOfBoth) {
  testing::FakeDnsServer dns(LoopbackAddress(1), testing::MxZoneResponder({{"no.test", {{10, LoopbackAddress(2)}}}}));
  testing::FakeSmtpServer refusing(LoopbackAddress(2),
                                   {"220 ok\r\n", "250 hi\r\n", "250 sender ok\r\n", "550 no such user\r\n"});
  ASSERT_TRUE(dns.listening() && refusing.listening());

  fs::path folder = fs::temp_directory_path() / ("vantrel-shared-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  constexpr int kPerList = 200;
  std::vector<std::string> addresses;
  for (const char* list : {"first", "second"}) {
    std::ofstream out(folder / (std::string(list) + ".lst"), std::ios::binary);
    for (int i = 0; i < kPerList; ++i) {
      addresses.push_back(std::string(list) + std::to_string(i) + "@no.test");
      out << addresses.back() << "\r\n";
    }
  }

  std::vector<pid_t> runs;
  for (const char* list : {"first", "second"}) {
    runs.push_back(Start(folder, list,
                         {"--dns", LoopbackAddress(1), "--list", std::string(list) + ".lst",
                          "--errors", "remove", "--from", "<me@vantrel.test>"}));
  }
  for (pid_t pid : runs) {
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitFor(pid), 0);
  }

  std::string log = ReadFile(folder / "vantrel.log");
  for (const std::string& address : addresses) {
    EXPECT_NE(log.find(" !I think this is a bad address: 500 Remote server (" + LoopbackAddress(2) +
                       ") does not accept mail to \"" + address + "\" " + address + "\r\n"),
              std::string::npos)
        << address << " was removed but not logged";
  }
  for (const char* list : {"first", "second"}) {
    std::string out = ReadFile(folder / (std::string(".out-") + list));
    EXPECT_NE(out.find("Bad addresses found: " + std::to_string(kPerList) + "\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(folder / (std::string(list) + ".lst.OK")), "");
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vantrel
