#include <windows.h>
// windows.h first: commctrl.h builds on it.
#include <commctrl.h>

#include "dialog/main_dialog.h"
#include "shell/win32/dialog_template.h"
#include "shell/win32/main_window.h"
#include "shell/win32/win32_main_dialog.h"

namespace vantrel::win32 {

namespace {

struct ControlSpec {
  int id;
  const char* window_class;
  const char* text;
  int x, y, width, height;  // dialog units
  DWORD style;              // beyond WS_CHILD | WS_VISIBLE
  DWORD extended_style;
};

constexpr DWORD kEditStyle = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kRadioStyle = BS_AUTORADIOBUTTON | WS_TABSTOP;

// Creation order is the tab order. No WS_GROUP anywhere, so the three
// error-mode buttons form one group.
constexpr ControlSpec kControls[] = {
    {kFromBox, "EDIT", kFromPlaceholder, 42, 6, 180, 10, kEditStyle, WS_EX_CLIENTEDGE},
    {kInputListBox, "EDIT", "MEMBERS.LST", 42, 18, 170, 9, kEditStyle, WS_EX_CLIENTEDGE},
    {kBrowseButton, "BUTTON", "...", 210, 18, 12, 10, BS_PUSHBUTTON | WS_TABSTOP, 0},
    {kDnsServerControl, WC_IPADDRESSA, "192.168.1.1", 42, 29, 85, 11, WS_TABSTOP, 0},
    {kBodyCheckBox, "BUTTON", "Do not send message body (SMTP test only)", 42, 42, 180, 12,
     BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {kRemoveButton, "BUTTON", "Remove", 79, 54, 48, 12, kRadioStyle, 0},
    {kSuspendButton, "BUTTON", "Suspend", 127, 54, 48, 12, kRadioStyle, 0},
    {kWriteToFileButton, "BUTTON", "Write to file", 175, 54, 54, 12, kRadioStyle, 0},
    {kGoButton, "BUTTON", "&Go", 230, 5, 40, 15, BS_DEFPUSHBUTTON | BS_CENTER | BS_VCENTER | WS_TABSTOP, 0},
    {kAboutButton, "BUTTON", "&About", 230, 22, 40, 15, BS_PUSHBUTTON | WS_TABSTOP, 0},
    {kTaskList, WC_LISTVIEWA, "SysListView32_1", 0, 66, 275, 122,
     LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP, 0},
    {kFromLabel, "STATIC", "From:", 6, 6, 35, 10, SS_RIGHT, WS_EX_TRANSPARENT},
    {kInputListLabel, "STATIC", "Input List:", 6, 18, 35, 10, SS_RIGHT, WS_EX_TRANSPARENT},
    {kStatusBar, STATUSCLASSNAMEA, "Status: Idle", 0, 188, 275, 12, 0, 0},
    {kDnsServerLabel, "STATIC", "DNS Server:", 0, 29, 40, 10, SS_RIGHT, WS_EX_TRANSPARENT},
    {kErrorsLabel, "STATIC", "Addresses with errors:", 0, 54, 72, 12, SS_RIGHT, 0},
};

constexpr char kTaskCellBlank[] = "          ";  // ten blanks

void CreateControls(HWND dialog, HINSTANCE instance) {
  auto font = static_cast<WPARAM>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  for (const ControlSpec& spec : kControls) {
    RECT at{spec.x, spec.y, spec.x + spec.width, spec.y + spec.height};
    MapDialogRect(dialog, &at);
    HWND control = CreateWindowExA(spec.extended_style, spec.window_class, spec.text,
                                   WS_CHILD | WS_VISIBLE | spec.style, at.left, at.top, at.right - at.left,
                                   at.bottom - at.top, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
    if (control == nullptr) continue;  // a missing control is simply missing
    SendMessageA(control, WM_SETFONT, font, FALSE);
    // Not every class takes its text from the creation call; the address
    // control and the status bar are given it again to be sure.
    if (spec.id == kDnsServerControl) SetAddressControlText(control, spec.text);
    if (spec.id == kStatusBar) SetWindowTextA(control, spec.text);
  }
}

void SetUpTaskList(HWND dialog) {
  HWND list = GetDlgItem(dialog, kTaskList);
  if (list == nullptr) return;
  auto extended = static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  extended |= LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(extended));

  const char* headers[] = {"Task", "Activity"};
  for (int column = 0; column < 2; ++column) {
    LVCOLUMNA spec{};
    spec.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
    spec.fmt = LVCFMT_LEFT;
    spec.pszText = const_cast<char*>(headers[column]);
    spec.iSubItem = column;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&spec));
  }

  for (int row = 0; row < kTaskListRows; ++row) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = row;
    item.pszText = const_cast<char*>(kTaskCellBlank);
    item.lParam = row;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  LVITEMA idle{};
  idle.iSubItem = kActivityColumn;
  idle.pszText = const_cast<char*>("-Idle-");
  SendMessageA(list, LVM_SETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&idle));

  SendMessageA(list, LVM_SETCOLUMNWIDTH, kTaskColumn, MAKELPARAM(LVSCW_AUTOSIZE, 0));
  SendMessageA(list, LVM_SETCOLUMNWIDTH, kActivityColumn, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
}

}  // namespace

void InitializeCommonControls() {
  HMODULE library = LoadLibraryA("COMCTL32.DLL");
  if (library == nullptr) return;
  using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init_ex = reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")));
  if (init_ex != nullptr) {
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = 8;
    classes.dwICC = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_INTERNET_CLASSES;  // 0x9FF
    init_ex(&classes);
  } else {
    InitCommonControls();
  }
  FreeLibrary(library);
}

HWND BuildMainDialog(HINSTANCE instance) {
  DialogTemplateSpec spec;
  spec.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS | DS_MODALFRAME | DS_SETFONT |
               DS_3DLOOK | DS_NOFAILCREATE;
  spec.extended_style = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
  spec.x = 85;
  spec.y = 66;
  spec.width = 275;
  spec.height = 200;
  spec.caption = kMainCaption;
  spec.point_size = 8;
  spec.face = "MS Sans Serif";
  std::vector<DWORD> bytes = BuildDialogTemplate(spec);
  HWND dialog = CreateDialogIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr,
                                           GenericDialogProc, 0);
  if (dialog == nullptr) return nullptr;

  Win32MainDialog& main = TheMainDialog();
  main.Attach(dialog);
  // The template places the client area; the settings file speaks of the
  // window's own corner, so put that corner at the build position.
  main.MoveTo(DialogPoint{spec.x, spec.y});
  CreateControls(dialog, instance);
  SendMessageA(dialog, DM_SETDEFID, kGoButton, 0);
  SetUpTaskList(dialog);
  main.Enable(kBodyCheckBox, false);
  SetWindowIcons(dialog, WindowDpi(dialog));
  PrepareForDpiChanges(dialog, spec.point_size);
  return dialog;
}

}  // namespace vantrel::win32
