// Runs: a missing list, a whole run against the loopback fakes, closing the
// window while a mail server keeps a task waiting, and ten busy tasks.
#include <winsock2.h>
#include <ws2tcpip.h>
// windows.h (through winsock2.h) first: commctrl.h builds on it.
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <vector>

#include "dialog/main_dialog.h"
#include "tests/support/crlf_lines.h"
#include "tests/wine/remote_window.h"
#include "tests/wine/scenarios.h"

namespace vantrel::wine_test {

namespace {

constexpr char kPlaceholder[] = "<you@example.com>";
constexpr char kHeldHost[] = "127.0.0.6";  // greets only when released

// The held mail server answers the connections waiting on it once something
// connects to its release port.
bool ReleaseHeldServer(const Settings& settings) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<u_short>(settings.release_port));
  inet_pton(AF_INET, settings.release_host.c_str(), &at.sin_addr);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
  closesocket(s);
  return ok;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + "\r\n";
  return joined;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

void SaveShot(const Settings& settings, Session& vantrel, const std::string& name, Checks& checks) {
  if (settings.shots_folder.empty()) return;
  checks.Expect(SaveWindowBitmap(vantrel.dialog(), JoinPath(settings.shots_folder, name)), "screenshot " + name);
}

}  // namespace

void MissingListIsReported(const Settings& settings, Checks& checks) {
  std::string folder = ScenarioFolder(settings, "missing-list");
  WriteWholeFile(JoinPath(folder, "Vantrel.INI"), "DNS=127.0.0.1\r\nFILE=missing.lst\r\nERROR=2\r\n");
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;

  vantrel.Press(kGoButton);
  HWND error = vantrel.WaitForMessageBox("Error");
  if (checks.Expect(error != nullptr, "the Error box appears")) {
    checks.ExpectEqual(Session::MessageBoxText(error),
                       "File not found.\r\n\r\nmissing.lst\r\n\r\nClick the [...] button to\r\nbrowse for the input file.",
                       "Error text");
    checks.ExpectEqual(vantrel.Text(kGoButton), "&Stop", "caption while the box is shown");
    checks.Expect(!vantrel.IsEnabled(kGoButton), "Go button disabled while the box is shown");
    checks.Expect(vantrel.IsEnabled(kFromBox), "no other control disabled");
    Session::Dismiss(error);
  }
  checks.Expect(WaitUntil([&] { return vantrel.Text(kGoButton) == "&Go" && vantrel.IsEnabled(kGoButton); }),
                "the caption returns to &Go, enabled");
  checks.Expect(!FileExists(JoinPath(folder, "vantrel.log")), "no run log");
  checks.Expect(!FileExists(JoinPath(folder, "missing.lst.OK")), "no result list");

  vantrel.Close();
  DWORD code = 1;
  checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, "the program ends with code 0");
}

void WholeRunAgainstLoopbackServers(const Settings& settings, Checks& checks) {
  std::string folder = ScenarioFolder(settings, "whole-run");
  // A DNS server in the file that nobody serves: the run must use the one the
  // control is given below.
  WriteWholeFile(JoinPath(folder, "Vantrel.INI"),
                 "DNS=127.0.0.2\r\nFILE=members.lst\r\nERROR=3\r\nFROM=<checker@example.net>\r\n");
  WriteWholeFile(JoinPath(folder, "members.lst"),
                 "; list of the test club\r\n"
                 "held@slow.test\r\n"
                 "good@ok.test\r\n"
                 "bad@bad.test\r\n"
                 "pref@pref.test\r\n"
                 "+old@ok.test\r\n"
                 "++retry@ok.test\r\n"
                 "lost@nomx.test\r\n");
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;

  vantrel.SetControlText(kDnsServerControl, "127.0.0.1");
  // As typing it would: the fields show it too.
  SendMessageA(vantrel.Control(kDnsServerControl), IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 1));
  if (!checks.ExpectEqual(vantrel.Text(kDnsServerControl), "127.0.0.1", "DNS Server set through its text")) return;

  vantrel.Press(kGoButton);
  // The first address goes to task 1, whose server holds its greeting.
  checks.Expect(WaitUntil([&] { return vantrel.Cell(0, kTaskColumn) == "1"; }), "row 0 shows task 1");
  checks.Expect(WaitUntil([&] { return vantrel.Cell(0, kActivityColumn) == "Connected to 127.0.0.6 for held@slow.test"; }),
                "row 0 shows the connection to the held server, got \"" + vantrel.Cell(0, kActivityColumn) + "\"");
  checks.ExpectEqual(vantrel.Text(kGoButton), "&Stop", "caption during the run");
  for (int control : {kFromBox, kInputListBox, kBrowseButton, kDnsServerControl, kBodyCheckBox, kRemoveButton,
                      kSuspendButton, kWriteToFileButton, kGoButton, kAboutButton}) {
    checks.Expect(!vantrel.IsEnabled(control), "control " + std::to_string(control) + " disabled during the run");
  }
  // Wait until the other tasks are done, so the picture shows the held one alone.
  checks.Expect(WaitUntil([&] { return vantrel.Cell(1, kTaskColumn).empty(); }),
                "the other tasks end while the held one waits (row 1 empties)");
  SaveShot(settings, vantrel, "vantrel-during-run.bmp", checks);
  checks.Expect(ReleaseHeldServer(settings), "the held server is released");

  HWND results = vantrel.WaitForMessageBox("Results", 60000);
  if (checks.Expect(results != nullptr, "the Results box appears")) {
    checks.ExpectEqual(Session::MessageBoxText(results),
                       "I think everything is done.\r\n\r\nAddresses in master list: 8\r\n"
                       "Bad addresses found: 2\r\nGood addresses: 6\r\nChecked: 4 good, 1 bad, 1 to try again. "
                       "Not checked: 2 (comments, blank lines, suspended lines and lines kept unchanged).",
                       "Results text");
    Session::Dismiss(results);
  }
  checks.Expect(WaitUntil([&] { return vantrel.Text(kGoButton) == "&Go" && vantrel.IsEnabled(kBodyCheckBox); }),
                "the controls are enabled again");
  checks.ExpectEqual(vantrel.Text(kStatusBar), "Status: Idle", "status after the run");
  checks.ExpectEqual(vantrel.Cell(0, kTaskColumn), "", "row 0 task cell after the run");
  checks.ExpectEqual(vantrel.Cell(0, kActivityColumn), "Idle", "row 0 activity after the run");
  for (int row = 1; row < kTaskListRows; ++row) {
    checks.ExpectEqual(vantrel.Cell(row, kTaskColumn) + vantrel.Cell(row, kActivityColumn), "",
                       "row " + std::to_string(row) + " empty after the run");
  }
  SaveShot(settings, vantrel, "vantrel-after-run.bmp", checks);

  vantrel.Close();
  DWORD code = 1;
  checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, "the program ends with code 0");

  // The result list's order is the order of the verdicts; compare its lines as a set.
  checks.ExpectEqual(JoinLines(testing::SortedCrLfLines(ReadWholeFile(JoinPath(folder, "members.lst.OK")))),
                     JoinLines(testing::SortedCrLfLines("; list of the test club\r\nheld@slow.test\r\ngood@ok.test\r\n"
                                                        "pref@pref.test\r\n+old@ok.test\r\nretry@ok.test\r\n"
                                                        "++lost@nomx.test\r\n")),
                     "result list");
  const std::string bad_verdict = "500 Remote server (127.0.0.7) does not accept mail to \"bad@bad.test\"";
  checks.ExpectEqual(ReadWholeFile(JoinPath(folder, "members.lst.BAD")),
                     "## " + bad_verdict + " bad@bad.test\r\nbad@bad.test\r\n", "bad-address file");

  std::string log = ReadWholeFile(JoinPath(folder, "vantrel.log"));
  checks.Expect(StartsWith(log, std::string(80, '=') + "\r\n"), "the run log starts with its header");
  for (const std::string& line :
       {std::string("\r\n0 File Input: held@slow.test\r\n"), std::string("\r\n0 Found MX server (127.0.0.6) for slow.test\r\n"),
        std::string(" ?Verified as good: held@slow.test\r\n"), std::string(" ?Verified as good: pref@pref.test\r\n"),
        std::string(" !I think this is a bad address: ") + bad_verdict + " bad@bad.test\r\n",
        std::string(" This address was suspended for soft DNS error last time. Un-suspending.\r\n"),
        std::string(" Suspended. Skipping this address.\r\n"), std::string(" Not an email address. No @ sign.\r\n")}) {
    checks.Expect(log.find(line) != std::string::npos, "the run log holds \"" + Visible(line) + "\"");
  }
  checks.ExpectEqual(ReadWholeFile(JoinPath(folder, "Vantrel.INI")),
                     SettingsFile("85:66", 0, "127.0.0.1", 3, "members.lst", "<checker@example.net>"),
                     "settings written at exit, with the DNS server given in the control");
}

namespace {

// Starts a run of one line, waits until ready says the moment has come, then
// closes the window: the program must end by itself, with no "Warning" box,
// and save the settings.
void CloseDuringRunAndExpectAQuietEnd(const Settings& settings, Checks& checks, const std::string& scenario,
                                      const std::string& list, const std::string& line,
                                      const std::function<bool(Session&)>& ready, const std::string& ready_text) {
  std::string folder = ScenarioFolder(settings, scenario);
  std::string ini = JoinPath(folder, "Vantrel.INI");
  WriteWholeFile(ini, "DNS=127.0.0.1\r\nFILE=" + list + "\r\nERROR=1\r\nBODY=1\r\n");
  WriteWholeFile(JoinPath(folder, list), line + "\r\n");
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;

  vantrel.Press(kGoButton);
  if (!checks.Expect(WaitUntil([&] { return ready(vantrel); }), ready_text)) return;
  // Gone now, so that the file found later is the one written at exit.
  DeleteFileA(ini.c_str());
  vantrel.Close();

  DWORD code = 1;
  bool ended = vantrel.WaitForExit(20000, &code);
  checks.Expect(ended && code == 0, "the program ends by itself with code 0");
  if (!ended) checks.Expect(vantrel.FindMessageBox("Warning") == nullptr, "no Warning box");
  checks.ExpectEqual(ReadWholeFile(ini), SettingsFile("85:66", 1, "127.0.0.1", 1, list, kPlaceholder),
                     "settings written at exit");
  // The line never checked is kept as it was, so the result list is the list.
  checks.ExpectEqual(ReadWholeFile(JoinPath(folder, list + ".OK")), line + "\r\n",
                     "the unfinished run's line kept in the result list");
}

}  // namespace

// A task in the middle of a dialogue waits in short slices and hears the
// stop flag within the exit's one-second grace: nothing is left to suspend.
void ClosingDuringADialogueStopsItInTime(const Settings& settings, Checks& checks) {
  CloseDuringRunAndExpectAQuietEnd(
      settings, checks, "close-during-run", "stuck.lst", "stuck@slow.test",
      [](Session& vantrel) {
        return vantrel.Cell(0, kActivityColumn) == "Connected to 127.0.0.6 for stuck@slow.test";
      },
      "a task waits on the held server");
}

// A close whose result list cannot be written (a folder has its name) must
// not end quietly: there is no "Results" box then, so the run log and an
// "Error" box say so before the program ends.
void ClosingWithAnUnwritableResultListSaysSo(const Settings& settings, Checks& checks) {
  std::string folder = ScenarioFolder(settings, "close-unwritable");
  WriteWholeFile(JoinPath(folder, "Vantrel.INI"), "DNS=127.0.0.1\r\nFILE=stuck.lst\r\nERROR=1\r\nBODY=1\r\n");
  WriteWholeFile(JoinPath(folder, "stuck.lst"), "stuck@slow.test\r\n");
  CreateDirectoryA(JoinPath(folder, "stuck.lst.OK").c_str(), nullptr);
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;
  vantrel.Press(kGoButton);
  if (!checks.Expect(WaitUntil([&] {
        return vantrel.Cell(0, kActivityColumn) == "Connected to 127.0.0.6 for stuck@slow.test";
      }), "a task waits on the held server")) {
    return;
  }
  vantrel.Close();
  const std::string error =
      "ERROR: The result list stuck.lst.OK could not be written in full; the member list is unchanged.";
  HWND box = vantrel.WaitForMessageBox("Error");
  if (checks.Expect(box != nullptr, "an Error box appears")) {
    checks.ExpectEqual(Session::MessageBoxText(box), error, "Error text");
    Session::Dismiss(box);
  }
  DWORD code = 1;
  checks.Expect(vantrel.WaitForExit(20000, &code), "the program ends");
  checks.Expect(ReadWholeFile(JoinPath(folder, "vantrel.log")).find("\r\n" + error + "\r\n") != std::string::npos,
                "the run log holds the same line");
  checks.ExpectEqual(ReadWholeFile(JoinPath(folder, "stuck.lst")), "stuck@slow.test\r\n", "the member list unchanged");
}

// Idle tasks that hand texts to the window never wait for the dialog's
// thread, so while the exit sleeps they see the stop flag and end.
void ClosingWithEveryTaskIdleWarnsAboutNone(const Settings& settings, Checks& checks) {
  // The tasks are still being started, one each 300 ms: those running wait for work.
  CloseDuringRunAndExpectAQuietEnd(
      settings, checks, "close-while-idle", "idle.lst", "idle@ok.test",
      [](Session& vantrel) { return vantrel.Cell(0, kTaskColumn) == "1"; }, "task 1 has started");
}

// Ten tasks against a mail server that refuses at once post texts faster
// than one a step. When one of them reaches a silent server of the driver's
// own (held.test's MX) while nine go on, the task list shows that within a
// step, and a close is answered within a second, not behind a backlog.
void TenFastTasksKeepTheWindowCurrent(const Settings& settings, Checks& checks) {
  std::string folder = ScenarioFolder(settings, "ten-fast-tasks");
  WriteWholeFile(JoinPath(folder, "Vantrel.INI"), "DNS=127.0.0.1\r\nFILE=fast.lst\r\nFROM=<checker@example.net>\r\n");
  std::string list;
  for (int i = 0; i < 120; ++i) list += (i == 60 ? "mark@held.test\r\n" : "") + std::to_string(i) + "@bad.test\r\n";
  WriteWholeFile(JoinPath(folder, "fast.lst"), list);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in at{AF_INET, htons(25), {}, {}};
  inet_pton(AF_INET, "127.0.0.8", &at.sin_addr);
  u_long nonblocking = 1;
  bool listening = bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && listen(listener, 1) == 0 &&
                   ioctlsocket(listener, FIONBIO, &nonblocking) == 0;
  SOCKET held = INVALID_SOCKET;
  Session vantrel(settings.vantrel_exe, folder, checks);
  vantrel.Press(kGoButton);
  auto reached = [&] { return (held = accept(listener, nullptr, nullptr)) != INVALID_SOCKET; };
  if (checks.Expect(listening && WaitUntil(reached, 60000), "a task reaches the silent server")) {
    DWORD came = GetTickCount();
    auto shown = [&] {
      for (int row = 0; row < kTaskListRows; ++row) {
        if (vantrel.Cell(row, kActivityColumn) == "Connected to 127.0.0.8 for mark@held.test") return true;
      }
      return false;
    };
    bool current = WaitUntil(shown, 250);
    checks.Expect(current, "the task list shows it within a step, not " + std::to_string(GetTickCount() - came) + "ms");
    DWORD asked = GetTickCount();
    vantrel.Close();
    bool answered = WaitUntil([&] { return !IsWindowVisible(vantrel.dialog()); }, 1000);
    checks.Expect(answered, "a close is answered in a second, not " + std::to_string(GetTickCount() - asked) + "ms");
    DWORD code = 1;
    checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, "the program ends by itself with code 0");
  }
  closesocket(held);
  closesocket(listener);
}

}  // namespace vantrel::wine_test
