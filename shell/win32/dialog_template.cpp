#include "shell/win32/dialog_template.h"

#include <cstring>

namespace vantrel::win32 {

namespace {

void PushDword(std::vector<WORD>& words, DWORD value) {
  words.push_back(LOWORD(value));
  words.push_back(HIWORD(value));
}

// Template strings are UTF-16 whatever API family reads them; ours are ASCII.
void PushText(std::vector<WORD>& words, const char* text) {
  for (const char* c = text; *c != '\0'; ++c) words.push_back(static_cast<unsigned char>(*c));
  words.push_back(0);
}

}  // namespace

std::vector<DWORD> BuildDialogTemplate(const DialogTemplateSpec& spec) {
  std::vector<WORD> words;
  PushDword(words, spec.style);
  PushDword(words, spec.extended_style);
  words.push_back(0);  // no items
  words.push_back(static_cast<WORD>(spec.x));
  words.push_back(static_cast<WORD>(spec.y));
  words.push_back(static_cast<WORD>(spec.width));
  words.push_back(static_cast<WORD>(spec.height));
  words.push_back(0);  // no menu
  words.push_back(0);  // the predefined dialog class
  PushText(words, spec.caption);
  if (spec.style & DS_SETFONT) {
    words.push_back(spec.point_size);
    PushText(words, spec.face);
  }
  std::vector<DWORD> aligned((words.size() + 1) / 2, 0);
  std::memcpy(aligned.data(), words.data(), words.size() * sizeof(WORD));
  return aligned;
}

}  // namespace vantrel::win32
