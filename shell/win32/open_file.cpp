#include "shell/win32/open_file.h"

#include <windows.h>
// windows.h first: commdlg.h builds on it.
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace vantrel::win32 {

namespace {

// Copies as much as fits and always ends the buffer with a NUL.
template <std::size_t N>
void CopyInto(std::array<char, N>& buffer, const std::string& text) {
  std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(buffer.data(), text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

bool ShowOpenFileDialog(HWND owner, const std::string& title, std::string* file_name, const std::string& folder,
                        const std::string& filter, const std::string& default_extension, DWORD* flags) {
  std::array<char, 260> name{};
  std::array<char, 260> name_title{};
  std::array<char, 260> initial_folder{};
  std::array<char, 260> dialog_title{};
  std::array<char, 256> extension{};
  CopyInto(name, *file_name);
  CopyInto(initial_folder, folder);
  CopyInto(dialog_title, title);
  CopyInto(extension, default_extension);

  // The pairs end in NULs, and the list in two.
  std::string pairs = filter;
  std::replace(pairs.begin(), pairs.end(), '|', '\0');
  pairs.append(2, '\0');

  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = pairs.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrFileTitle = name_title.data();
  dialog.nMaxFileTitle = static_cast<DWORD>(name_title.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : initial_folder.data();
  dialog.lpstrTitle = title.empty() ? nullptr : dialog_title.data();
  dialog.lpstrDefExt = extension.data();
  dialog.Flags = *flags;

  BOOL confirmed = GetOpenFileNameA(&dialog);
  *flags = dialog.Flags;
  if (!confirmed) return false;
  *file_name = name.data();
  return true;
}

}  // namespace vantrel::win32
