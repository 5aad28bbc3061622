// The platform's open-file dialog behind one call.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::win32 {

// Filter: description and pattern pairs separated by "|"; the first pair is
// preselected. An empty folder means the current directory; an empty title
// leaves the dialog's own. file_name goes in as the initial name and comes
// back as the chosen full path; flags go in as options and come back as the
// dialog left them. True when the user confirmed a file; an error of the
// dialog counts as a cancel.
bool ShowOpenFileDialog(HWND owner, const std::string& title, std::string* file_name, const std::string& folder,
                        const std::string& filter, const std::string& default_extension, DWORD* flags);

}  // namespace vantrel::win32
