#include <atomic>

#include "dialog/main_dialog.h"

namespace vantrel {

namespace {
std::atomic<MainDialog*> g_registered{nullptr};
}

MainDialog* FindMainDialog(const std::string& caption) {
  return caption == kMainCaption ? g_registered.load() : nullptr;
}

void RegisterMainDialog(MainDialog* dialog) { g_registered.store(dialog); }

void UnregisterMainDialog(MainDialog* dialog) {
  MainDialog* expected = dialog;
  g_registered.compare_exchange_strong(expected, nullptr);
}

}  // namespace vantrel
