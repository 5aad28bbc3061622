#include "tests/wine/session.h"

#include <windows.h>
// windows.h first: commctrl.h builds on it.
#include <commctrl.h>

#include <cstdio>

#include "dialog/main_dialog.h"
#include "tests/wine/remote_window.h"

namespace vantrel::wine_test {

bool Checks::Expect(bool ok, const std::string& what) {
  if (!ok) {
    ++failures_;
    std::printf("  FAILED [%s] %s\n", scenario_.c_str(), what.c_str());
    std::fflush(stdout);
  }
  return ok;
}

bool Checks::ExpectEqual(const std::string& got, const std::string& want, const std::string& what) {
  return Expect(got == want, what + "\n      got:  \"" + Visible(got) + "\"\n      want: \"" + Visible(want) + "\"");
}

Session::Session(const std::string& exe, const std::string& folder, Checks& checks) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process_)) {
    checks.Expect(false, "Vantrel.exe could not be started: error " + std::to_string(GetLastError()));
    ended_ = true;
    return;
  }
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindProcessWindow(process_.dwProcessId, nullptr, kMainCaption);
    return found != nullptr && IsWindowVisible(found);
  });
  dialog_ = found;
  checks.Expect(dialog_ != nullptr, "the main dialog appears");
}

Session::~Session() {
  if (!ended_ && process_.hProcess != nullptr) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 10000);
    }
  }
  if (process_.hProcess != nullptr) CloseHandle(process_.hProcess);
  if (process_.hThread != nullptr) CloseHandle(process_.hThread);
}

std::string Session::Text(int id) const { return WindowText(Control(id)); }

void Session::SetControlText(int id, const std::string& text) const {
  SendMessageA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string Session::Cell(int row, int column) const { return ListCellText(Control(kTaskList), pid(), row, column); }

bool Session::IsChecked(int id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Session::IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

void Session::Press(int id) const {
  PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

void Session::Close() const { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }

HWND Session::FindMessageBox(const std::string& caption) const {
  return FindProcessWindow(process_.dwProcessId, "#32770", caption);
}

HWND Session::WaitForMessageBox(const std::string& caption, int bound_ms) const {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        box = FindMessageBox(caption);
        return box != nullptr;
      },
      bound_ms);
  return box;
}

std::string Session::MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

void Session::Dismiss(HWND box) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

bool Session::WaitForExit(int bound_ms, DWORD* code) {
  if (process_.hProcess == nullptr) return false;
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(bound_ms)) != WAIT_OBJECT_0) return false;
  ended_ = true;
  GetExitCodeProcess(process_.hProcess, code);
  return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::string ScenarioFolder(const Settings& settings, const std::string& name) {
  std::string folder = JoinPath(settings.work_folder, name);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace vantrel::wine_test
