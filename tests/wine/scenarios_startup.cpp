// Start-up, the settings file, the About box, and the window at the
// system's DPI with its icon.
#include <windows.h>
// windows.h first: commctrl.h builds on it.
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dialog/main_dialog.h"
#include "tests/wine/remote_window.h"
#include "tests/wine/scenarios.h"

namespace vantrel::wine_test {

namespace {

constexpr char kPlaceholder[] = "<you@example.com>";

constexpr char kAboutText[] =
    "Halvord Group Vantrel\r\n\r\n"
    "This tool is deisgned to validate all of the email\r\n"
    "addresses in a list to ensure there are no errors\r\n"
    "when trying to deliver a message.\r\n\r\n"
    "The owner of the email address will not know their\r\n"
    "address has been tested until the SEND BODY\r\n"
    "option is selected.\r\n";

struct ExpectedControl {
  int id;
  const char* window_class;
};

// Creation order, which is also the order of the dialog's children.
const std::vector<ExpectedControl> kCreationOrder = {
    {kFromBox, "Edit"},          {kInputListBox, "Edit"},          {kBrowseButton, "Button"},
    {kDnsServerControl, "SysIPAddress32"}, {kBodyCheckBox, "Button"}, {kRemoveButton, "Button"},
    {kSuspendButton, "Button"},  {kWriteToFileButton, "Button"},   {kGoButton, "Button"},
    {kAboutButton, "Button"},    {kTaskList, "SysListView32"},     {kFromLabel, "Static"},
    {kInputListLabel, "Static"}, {kStatusBar, "msctls_statusbar32"}, {kDnsServerLabel, "Static"},
    {kErrorsLabel, "Static"},
};

bool SameClass(const std::string& got, const char* want) { return lstrcmpiA(got.c_str(), want) == 0; }

void CheckWindowStructure(Session& vantrel, Checks& checks) {
  HWND dialog = vantrel.dialog();
  checks.ExpectEqual(WindowText(dialog), kMainCaption, "caption");
  auto style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
  auto extended = static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE));
  DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  checks.Expect((style & wanted) == wanted, "popup with caption, system menu and minimize box");
  checks.Expect((style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) == 0, "no sizing border and no maximize box");
  checks.Expect((extended & WS_EX_APPWINDOW) != 0, "shown in the task bar");

  HWND child = GetWindow(dialog, GW_CHILD);
  for (const ExpectedControl& control : kCreationOrder) {
    if (!checks.Expect(child != nullptr, "control " + std::to_string(control.id) + " exists")) return;
    checks.Expect(GetDlgCtrlID(child) == control.id,
                  "control " + std::to_string(control.id) + " in creation order, got " +
                      std::to_string(GetDlgCtrlID(child)));
    checks.Expect(SameClass(ClassName(child), control.window_class),
                  "control " + std::to_string(control.id) + " is a " + control.window_class + ", got " +
                      ClassName(child));
    child = GetWindow(child, GW_HWNDNEXT);
  }
  checks.Expect(child == nullptr, "exactly sixteen controls");

  LRESULT default_id = SendMessageA(dialog, DM_GETDEFID, 0, 0);
  checks.Expect(HIWORD(default_id) == DC_HASDEFID && LOWORD(default_id) == kGoButton, "the Go button is the default");
}

void CheckTaskList(Session& vantrel, Checks& checks) {
  HWND list = vantrel.Control(kTaskList);
  checks.Expect(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == kTaskListRows, "ten task rows");
  auto extended = static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  checks.Expect((extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT)) == (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
                "grid lines and full-row selection");
  for (int row = 0; row < kTaskListRows; ++row) {
    std::string at = "row " + std::to_string(row);
    checks.ExpectEqual(vantrel.Cell(row, kTaskColumn), "          ", at + " task cell");
    checks.ExpectEqual(vantrel.Cell(row, kActivityColumn), row == 0 ? "-Idle-" : "", at + " activity cell");
    checks.Expect(ListItemData(list, vantrel.pid(), row) == row, at + " carries its index");
  }
}

bool StatusBarFillsBottom(Session& vantrel) {
  RECT client;
  RECT bar;
  GetClientRect(vantrel.dialog(), &client);
  GetWindowRect(vantrel.Control(kStatusBar), &bar);
  MapWindowPoints(nullptr, vantrel.dialog(), reinterpret_cast<POINT*>(&bar), 2);
  return bar.left == 0 && bar.right == client.right && bar.bottom == client.bottom && bar.top > client.bottom / 2;
}

// Nothing cut off at this DPI: each control inside the window with its text
// whole (a button by its ideal size, a message of common controls 6; a label
// by its text in the template's font), and the ten task rows in the list.
void CheckNothingCutOff(Session& vantrel, int dpi, Checks& checks, const std::string& at) {
  RECT client;
  GetClientRect(vantrel.dialog(), &client);
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ old = SelectObject(dc, font);
  for (const ExpectedControl& control : kCreationOrder) {
    HWND window = vantrel.Control(control.id);
    std::string text = WindowText(window);
    RECT box;
    RECT inside;
    GetWindowRect(window, &box);
    MapWindowPoints(nullptr, vantrel.dialog(), reinterpret_cast<POINT*>(&box), 2);
    GetClientRect(window, &inside);
    SIZE need{0, 0};
    bool button = SameClass(control.window_class, "Button");
    if (button) SendWithRemoteData(window, vantrel.pid(), BCM_GETIDEALSIZE, 0, &need, sizeof need);
    if (SameClass(control.window_class, "Static")) {
      GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &need);
    }
    checks.Expect(box.left >= 0 && box.top >= 0 && box.right <= client.right && box.bottom <= client.bottom &&
                      need.cx <= inside.right && need.cy <= inside.bottom && (need.cx > 0 || !button),
                  at + "control " + std::to_string(control.id) + " \"" + text + "\" whole in the window");
  }
  DeleteObject(SelectObject(dc, old));
  ReleaseDC(nullptr, dc);
  checks.Expect(SendMessageA(vantrel.Control(kTaskList), LVM_GETCOUNTPERPAGE, 0, 0) >= kTaskListRows,
                at + "the task list shows its ten rows");
}

// The green of the icon's check mark in the caption's left corner (Wine
// does not answer WM_GETICON across processes).
bool CaptionShowsTheIcon(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  HDC screen = GetDC(nullptr);
  bool green = false;
  for (int y = 0; y < 2 * GetSystemMetrics(SM_CYCAPTION) && !green; ++y) {
    for (int x = 0; x < 2 * GetSystemMetrics(SM_CYCAPTION) && !green; ++x) {
      COLORREF c = GetPixel(screen, frame.left + x, frame.top + y);
      green = GetGValue(c) > GetRValue(c) + 60 && GetGValue(c) > GetBValue(c) + 40;
    }
  }
  ReleaseDC(nullptr, screen);
  return green;
}

}  // namespace

// Run at 96 DPI and again at 144 (run-wine-tests.sh): the dialog is drawn at
// the system's DPI, whole, with its icon and the loaded DNS Server address.
// At 96 it is then moved to a monitor at 144 DPI, as Windows would.
void WindowAtTheSystemDpi(const Settings& settings, Checks& checks) {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  std::string folder = ScenarioFolder(settings, "dpi-" + std::to_string(dpi));
  WriteWholeFile(JoinPath(folder, "Vantrel.INI"),
                 "DNS=127.0.0.1\r\nFILE=club.lst\r\nERROR=2\r\nBODY=1\r\nFROM=<lists@example.org>\r\n");
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;
  checks.Expect(GetDpiForWindow(vantrel.dialog()) == static_cast<UINT>(dpi), "drawn at the system's DPI");
  CheckNothingCutOff(vantrel, dpi, checks, "");
  DWORD address = 0;
  SendWithRemoteData(vantrel.Control(kDnsServerControl), vantrel.pid(), IPM_GETADDRESS, 0, &address, sizeof address);
  checks.Expect(address == MAKEIPADDRESS(127, 0, 0, 1), "the DNS Server's fields show 127.0.0.1");
  checks.Expect(WaitUntil([&] { return CaptionShowsTheIcon(vantrel.dialog()); }, 5000), "the caption shows the icon");
  if (!settings.shots_folder.empty()) {
    std::string shot = JoinPath(settings.shots_folder, "vantrel-" + std::to_string(dpi) + "dpi.bmp");
    checks.Expect(SaveWindowBitmap(vantrel.dialog(), shot), "screenshot " + shot);
  }
  if (dpi == USER_DEFAULT_SCREEN_DPI) {
    RECT now;
    GetWindowRect(vantrel.dialog(), &now);
    RECT suggested{now.left, now.top, now.right + (now.right - now.left) / 2, now.bottom + (now.bottom - now.top) / 2};
    SendWithRemoteData(vantrel.dialog(), vantrel.pid(), WM_DPICHANGED, MAKEWPARAM(144, 144), &suggested, sizeof now);
    GetWindowRect(vantrel.dialog(), &now);
    checks.Expect(EqualRect(&now, &suggested) != FALSE, "a move to 144 DPI takes the suggested rectangle");
    CheckNothingCutOff(vantrel, 144, checks, "moved to 144 DPI: ");
  }
  vantrel.Close();
  DWORD code = 1;
  checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, "the program ends with code 0");
}

void FirstStartShowsTheDefaults(const Settings& settings, Checks& checks) {
  std::string folder = ScenarioFolder(settings, "first-start");
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;

  CheckWindowStructure(vantrel, checks);
  checks.ExpectEqual(vantrel.Text(kFromBox), kPlaceholder, "FROM box");
  checks.ExpectEqual(vantrel.Text(kInputListBox), "MEMBERS.LST", "Input List box");
  checks.ExpectEqual(vantrel.Text(kDnsServerControl), "192.168.1.1", "DNS Server control");
  checks.Expect(vantrel.IsChecked(kBodyCheckBox), "body check box checked");
  checks.Expect(!vantrel.IsEnabled(kBodyCheckBox), "body check box greyed");
  checks.Expect(!vantrel.IsChecked(kRemoveButton) && vantrel.IsChecked(kSuspendButton) &&
                    !vantrel.IsChecked(kWriteToFileButton),
                "Suspend selected, alone");
  checks.ExpectEqual(vantrel.Text(kGoButton), "&Go", "Go button");
  checks.ExpectEqual(vantrel.Text(kStatusBar), "Status: Idle", "status bar");
  CheckTaskList(vantrel, checks);

  vantrel.Press(kAboutButton);
  HWND about = vantrel.WaitForMessageBox("About Vantrel");
  if (checks.Expect(about != nullptr, "the About box appears")) {
    checks.ExpectEqual(Session::MessageBoxText(about), kAboutText, "About text");
    Session::Dismiss(about);
    checks.Expect(WaitUntil([&] { return vantrel.FindMessageBox("About Vantrel") == nullptr; }),
                  "the About box goes away");
  }

  // Minimizing and restoring keeps the status bar along the bottom edge.
  PostMessageA(vantrel.dialog(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  checks.Expect(WaitUntil([&] { return IsIconic(vantrel.dialog()) != FALSE; }), "the window minimizes");
  PostMessageA(vantrel.dialog(), WM_SYSCOMMAND, SC_RESTORE, 0);
  checks.Expect(WaitUntil([&] { return IsIconic(vantrel.dialog()) == FALSE; }), "the window restores");
  checks.Expect(WaitUntil([&] { return StatusBarFillsBottom(vantrel); }), "the status bar fills the bottom edge");

  // Closing before any run: no warning, the defaults written, exit code 0.
  vantrel.Close();
  DWORD code = 1;
  checks.Expect(vantrel.WaitForExit(20000, &code), "the program ends after the window is closed");
  checks.Expect(code == 0, "exit code 0");
  checks.ExpectEqual(ReadWholeFile(JoinPath(folder, "Vantrel.INI")),
                     SettingsFile("85:66", 1, "192.168.1.1", 2, "MEMBERS.LST", kPlaceholder),
                     "settings written at exit");
}

void SettingsAreLoadedAndSavedBack(const Settings& settings, Checks& checks) {
  struct Case {
    const char* name;
    std::string file;  // as prepared
    std::string from, list, dns;
    bool body;
    int mode;  // the selected button's id, 0 for none
    std::string saved;
  };
  const std::vector<Case> cases = {
      {"every key set, comments and strangers skipped",
       "; a comment\r\nLOCATION=10:20\r\nBODY=0\r\nDNS=127.0.0.1\r\nERROR=3\r\nFILE=list.txt\r\n"
       "FROM=<tester@example.org>\r\nloc=300:300\r\nfrom=nobody\r\nWHATEVER=1\r\n",
       "<tester@example.org>", "list.txt", "127.0.0.1", false, kWriteToFileButton,
       SettingsFile("10:20", 0, "127.0.0.1", 3, "list.txt", "<tester@example.org>")},
      {"later lines win, values kept untrimmed",
       "ERROR=1\r\nERROR= 2\r\nBODY=2\r\nFILE=a b.lst \r\nFROM=x=y\r\nLOCATION=33:44\r\n",
       "x=y", "a b.lst ", "192.168.1.1", true, kSuspendButton,
       SettingsFile("33:44", 1, "192.168.1.1", 2, "a b.lst ", "x=y")},
      {"an empty file leaves the build state", "", kPlaceholder, "MEMBERS.LST", "192.168.1.1", false, 0,
       SettingsFile("85:66", 0, "192.168.1.1", 0, "MEMBERS.LST", kPlaceholder)},
  };
  int index = 0;
  for (const Case& c : cases) {
    std::string folder = ScenarioFolder(settings, "settings-" + std::to_string(index++));
    std::string ini = JoinPath(folder, "Vantrel.INI");
    WriteWholeFile(ini, c.file);
    Session vantrel(settings.vantrel_exe, folder, checks);
    if (!vantrel.started()) continue;
    std::string at = std::string(c.name) + ": ";
    checks.ExpectEqual(vantrel.Text(kFromBox), c.from, at + "FROM box");
    checks.ExpectEqual(vantrel.Text(kInputListBox), c.list, at + "Input List box");
    checks.ExpectEqual(vantrel.Text(kDnsServerControl), c.dns, at + "DNS Server control");
    checks.Expect(vantrel.IsChecked(kBodyCheckBox) == c.body, at + "body check box");
    for (int button : {kRemoveButton, kSuspendButton, kWriteToFileButton}) {
      checks.Expect(vantrel.IsChecked(button) == (button == c.mode),
                    at + "error-mode button " + std::to_string(button));
    }
    vantrel.Close();
    DWORD code = 1;
    checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, at + "the program ends with code 0");
    checks.ExpectEqual(ReadWholeFile(ini), c.saved, at + "settings written at exit");
  }
}

// Closing a minimized window saves where the window stands when restored,
// not Windows' parking place; a LOCATION on no monitor comes back onto one.
void MinimizedCloseSavesTheNormalPosition(const Settings& settings, Checks& checks) {
  struct Case {
    const char* name;
    std::string location;  // as the file gives it
    std::string saved;     // empty: anywhere on the screen
  };
  const std::vector<Case> cases = {
      {"on the screen", "40:30", "40:30"},
      {"off every monitor", "-20000:-20000", ""},
  };
  int index = 0;
  for (const Case& c : cases) {
    std::string at = std::string(c.name) + ": ";
    std::string folder = ScenarioFolder(settings, "minimized-" + std::to_string(index++));
    std::string ini = JoinPath(folder, "Vantrel.INI");
    WriteWholeFile(ini, "LOCATION=" + c.location + "\r\nDNS=127.0.0.1\r\nERROR=2\r\n");
    Session vantrel(settings.vantrel_exe, folder, checks);
    if (!vantrel.started()) continue;
    checks.Expect(MonitorFromWindow(vantrel.dialog(), MONITOR_DEFAULTTONULL) != nullptr,
                  at + "the window opens on a monitor");

    PostMessageA(vantrel.dialog(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (!checks.Expect(WaitUntil([&] { return IsIconic(vantrel.dialog()) != FALSE; }), at + "the window is minimized")) {
      continue;
    }
    vantrel.Close();
    DWORD code = 1;
    checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, at + "the program ends with code 0");
    std::string saved = ReadWholeFile(ini);
    std::size_t found = saved.find("\r\nLOCATION=");
    std::string location = found == std::string::npos ? "" : saved.substr(found + 11, saved.find("\r\n", found + 2) - found - 11);
    if (!c.saved.empty()) {
      checks.ExpectEqual(location, c.saved, at + "the saved position");
    } else {
      int x = -1;
      int y = -1;
      checks.Expect(std::sscanf(location.c_str(), "%d:%d", &x, &y) == 2 && x >= 0 && y >= 0 && x < 1000 && y < 1000,
                    at + "the saved position is on the screen, got \"" + location + "\"");
    }
  }
}

}  // namespace vantrel::wine_test
