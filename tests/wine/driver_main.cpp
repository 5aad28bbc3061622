// The Wine test driver: starts Vantrel.exe in folders of its own and drives
// its dialog the way a user would, then checks the windows and the files.
//   vantrel_wine_driver <Vantrel.exe> <work folder> [<shots folder>]
// The fake DNS and mail servers are expected on loopback (see run-wine-tests.sh).
#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wine/scenarios.h"

namespace {

using vantrel::wine_test::Checks;
using vantrel::wine_test::Settings;

struct Scenario {
  const char* name;
  void (*run)(const Settings&, Checks&);
};

const Scenario kScenarios[] = {
    {"first start shows the defaults", vantrel::wine_test::FirstStartShowsTheDefaults},
    {"settings are loaded and saved back", vantrel::wine_test::SettingsAreLoadedAndSavedBack},
    {"a missing list is reported", vantrel::wine_test::MissingListIsReported},
    {"keyboard and browsing", vantrel::wine_test::KeyboardAndBrowsing},
    {"a whole run against loopback servers", vantrel::wine_test::WholeRunAgainstLoopbackServers},
    {"closing during a dialogue stops it in time", vantrel::wine_test::ClosingDuringADialogueStopsItInTime},
    {"closing with an unwritable result list says so", vantrel::wine_test::ClosingWithAnUnwritableResultListSaysSo},
    {"closing while minimized saves the normal position", vantrel::wine_test::MinimizedCloseSavesTheNormalPosition},
    {"closing while every task is idle warns about none", vantrel::wine_test::ClosingWithEveryTaskIdleWarnsAboutNone},
    {"the window at the system DPI, whole, with its icon", vantrel::wine_test::WindowAtTheSystemDpi},
    {"ten fast tasks keep the window current", vantrel::wine_test::TenFastTasksKeepTheWindowCurrent},
};

std::string FullPath(const char* path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : std::string(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <Vantrel.exe> <work folder> [<shots folder>] [<only scenario>]\n", argv[0]);
    return 2;
  }
  WSADATA sockets;
  if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) return 2;
  Settings settings;
  settings.vantrel_exe = FullPath(argv[1]);
  settings.work_folder = FullPath(argv[2]);
  if (argc > 3 && argv[3][0] != '\0') settings.shots_folder = FullPath(argv[3]);
  const char* only = argc > 4 ? argv[4] : nullptr;
  settings.release_host = "127.0.0.6";
  settings.release_port = 2500;
  CreateDirectoryA(settings.work_folder.c_str(), nullptr);

  int failed = 0;
  int ran = 0;
  for (const Scenario& scenario : kScenarios) {
    if (only != nullptr && std::strstr(scenario.name, only) == nullptr) continue;
    std::printf("[ RUN      ] %s\n", scenario.name);
    std::fflush(stdout);
    DWORD start = GetTickCount();
    Checks checks(scenario.name);
    scenario.run(settings, checks);
    ++ran;
    if (checks.failures() > 0) ++failed;
    std::printf("[ %s ] %s (%lu ms)\n", checks.failures() > 0 ? " FAILED " : "      OK", scenario.name,
                static_cast<unsigned long>(GetTickCount() - start));
    std::fflush(stdout);
  }
  std::printf("%d of %d scenarios passed\n", ran - failed, ran);
  WSACleanup();
  return failed == 0 && ran > 0 ? 0 : 1;
}
