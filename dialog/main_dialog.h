// The main dialog as the rest of the system sees it: its control ids and the
// operations through which settings, the run and the probe tasks touch it.
// The Win32 dialog, the console front end and the tests' double implement
// MainDialog; nothing below the shell includes a window system header.
#pragma once

#include <string>

namespace vantrel {

// VANTREL_VERSION comes from project(Vantrel VERSION ...) in CMakeLists.txt.
inline constexpr char kMainCaption[] = "Vantrel " VANTREL_VERSION;

// Control ids, in the order of creation, which is also the tab order.
enum ControlId : int {
  kFromBox = 1017,
  kInputListBox = 1016,
  kBrowseButton = 1003,
  kDnsServerControl = 1014,
  kBodyCheckBox = 1005,
  kRemoveButton = 1011,
  kSuspendButton = 1012,
  kWriteToFileButton = 1013,
  kGoButton = 1002,
  kAboutButton = 1001,
  kTaskList = 1015,
  kFromLabel = 1006,
  kInputListLabel = 1007,
  kStatusBar = 1010,
  kDnsServerLabel = 1008,
  kErrorsLabel = 1009,
};

// A setting the dialog keeps without a control of its own: read and written
// with GetText and SetText like a control's text, from the settings file
// to the run and back, but never shown in the window.
inline constexpr int kProxySetting = 2001;  // PROXY=, socks5://[USER:PASSWORD@]HOST:PORT or empty

inline constexpr int kTaskColumn = 0;      // "Task"
inline constexpr int kActivityColumn = 1;  // "Activity"
inline constexpr int kTaskListRows = 10;
inline constexpr int kActivityCellLimit = 127;  // characters a task list cell shows

enum class MessageIcon { kNone, kStop, kInformation };

// The window's top-left corner, in dialog units of the dialog font.
struct DialogPoint {
  int x = 0;
  int y = 0;
};

class MainDialog {
 public:
  virtual ~MainDialog() = default;

  // Called on the dialog's thread only.
  virtual std::string GetText(int control) = 0;
  virtual void SetText(int control, const std::string& text) = 0;
  virtual void Enable(int control, bool enabled) = 0;
  virtual int GetBodyCheck() = 0;            // 0 or 1
  virtual void SetBodyCheck(long value) = 0;  // 0 unchecks, anything else checks
  virtual bool IsErrorModeSelected(int button) = 0;
  virtual void SelectErrorMode(int button) = 0;  // clears the other two
  virtual DialogPoint GetPosition() = 0;
  virtual void MoveTo(DialogPoint corner) = 0;
  // Task-modal, no owner window; returns when the user has dismissed it.
  virtual void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // Handles what other threads asked of the window and at most one queued
  // message; sleeps 1 ms when nothing was queued.
  virtual void ProcessOneMessage() = 0;

  // Called from any thread. They hand the text to the dialog's thread and
  // return once it is shown.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetTaskCell(int row, int column, const std::string& text) = 0;
};

// The main dialog of this process with the given caption, or null. Each front
// end registers its dialog once it is built; a task finds its own program's
// window this way and never another instance's.
MainDialog* FindMainDialog(const std::string& caption);
void RegisterMainDialog(MainDialog* dialog);    // caption kMainCaption
void UnregisterMainDialog(MainDialog* dialog);

}  // namespace vantrel
