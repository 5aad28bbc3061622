// One started Vantrel.exe in a folder of its own, and the checks a scenario
// records against it. A session that is still running when it goes out of
// scope is ended, so one failing scenario does not hold up the next.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::wine_test {

class Checks {
 public:
  explicit Checks(std::string scenario) : scenario_(std::move(scenario)) {}
  bool Expect(bool ok, const std::string& what);
  bool ExpectEqual(const std::string& got, const std::string& want, const std::string& what);
  int failures() const { return failures_; }

 private:
  std::string scenario_;
  int failures_ = 0;
};

struct Settings {
  std::string vantrel_exe;  // full path
  std::string work_folder;  // full path; each scenario makes a folder inside
  std::string shots_folder;  // full path; screenshots as BMP
  std::string release_host;  // the held mail server's release address
  int release_port = 0;
};

class Session {
 public:
  // Starts Vantrel.exe in folder and waits for its main dialog.
  Session(const std::string& exe, const std::string& folder, Checks& checks);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool started() const { return dialog_ != nullptr; }
  HWND dialog() const { return dialog_; }
  DWORD pid() const { return process_.dwProcessId; }
  HWND Control(int id) const { return GetDlgItem(dialog_, id); }
  std::string Text(int id) const;
  void SetControlText(int id, const std::string& text) const;
  std::string Cell(int row, int column) const;
  bool IsChecked(int id) const;
  bool IsEnabled(int id) const;

  // Posted, so that a handler that shows a box does not hold up the driver.
  void Press(int id) const;
  void Close() const;

  // A message box of this process, or null when none came within the bound.
  HWND WaitForMessageBox(const std::string& caption, int bound_ms = 20000) const;
  HWND FindMessageBox(const std::string& caption) const;
  static std::string MessageBoxText(HWND box);
  static void Dismiss(HWND box);

  // True when the process ended within the bound; its exit code in *code.
  bool WaitForExit(int bound_ms, DWORD* code);

 private:
  PROCESS_INFORMATION process_{};
  HWND dialog_ = nullptr;
  bool ended_ = false;
};

std::string JoinPath(const std::string& folder, const std::string& name);
// A fresh, empty folder for one scenario.
std::string ScenarioFolder(const Settings& settings, const std::string& name);

}  // namespace vantrel::wine_test
