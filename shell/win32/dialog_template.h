// The in-memory template of the main dialog: the window alone, without items;
// the controls are created one by one once the dialog exists.
#pragma once

#include <windows.h>

#include <vector>

namespace vantrel::win32 {

struct DialogTemplateSpec {
  DWORD style = 0;
  DWORD extended_style = 0;
  short x = 0;
  short y = 0;
  short width = 0;
  short height = 0;
  const char* caption = "";
  WORD point_size = 8;
  const char* face = "";
};

// DWORD-aligned storage, as CreateDialogIndirectParam wants it.
std::vector<DWORD> BuildDialogTemplate(const DialogTemplateSpec& spec);

}  // namespace vantrel::win32
