// What the dialog's status bar, task list and message boxes become on a
// terminal. On a TTY the ten task rows and the status line are one panel,
// redrawn in place while a run lasts; otherwise status changes are printed
// as plain lines, and the once-per-round status at most once a second.
// Every text from a mail server or a file is made safe to print first.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "dialog/main_dialog.h"

namespace vantrel::console {

class ConsoleView {
 public:
  using Clock = std::chrono::steady_clock;
  struct Output {
    std::function<void(std::string_view)> out;  // the panel, status lines and boxes
    std::function<void(std::string_view)> err;  // boxes with the stop icon
  };

  ConsoleView(Output output, bool tty, int width, std::function<Clock::time_point()> now = Clock::now);

  // Any thread.
  void SetStatus(const std::string& text) VANTREL_EXCLUDES(mutex_);
  void SetCell(int row, int column, const std::string& text) VANTREL_EXCLUDES(mutex_);
  // The dialog's thread: draws what changed since the last drawing, unless
  // that was a moment ago.
  void Refresh() VANTREL_EXCLUDES(mutex_);
  // Prints caption and text below the panel; the panel is finished and later
  // status changes are printed as lines.
  void ShowBox(const std::string& text, const std::string& caption, MessageIcon icon) VANTREL_EXCLUDES(mutex_);
  // Leaves the panel in its last state.
  void Finish() VANTREL_EXCLUDES(mutex_);

  static constexpr auto kRedrawGap = std::chrono::milliseconds(50);
  static constexpr auto kRoundStatusGap = std::chrono::seconds(1);

 private:
  void Draw() VANTREL_REQUIRES(mutex_);
  void PrintStatusLine(const std::string& text) VANTREL_REQUIRES(mutex_);

  platform::Mutex mutex_;
  const Output output_;
  const bool tty_;
  const int width_;
  const std::function<Clock::time_point()> now_;

  std::string status_ VANTREL_GUARDED_BY(mutex_) = "Status: Idle";
  std::array<std::array<std::string, 2>, kTaskListRows> cells_ VANTREL_GUARDED_BY(mutex_);
  bool panel_live_ VANTREL_GUARDED_BY(mutex_) = true;  // until the first box
  bool dirty_ VANTREL_GUARDED_BY(mutex_) = false;
  int drawn_lines_ VANTREL_GUARDED_BY(mutex_) = 0;
  Clock::time_point last_draw_ VANTREL_GUARDED_BY(mutex_){};

  std::string last_printed_ VANTREL_GUARDED_BY(mutex_);
  std::string last_round_count_ VANTREL_GUARDED_BY(mutex_);
  Clock::time_point last_round_print_ VANTREL_GUARDED_BY(mutex_){};
};

// Control characters (an ESC from a hostile mail server, a CR inside a
// line) shown as "?", so that no text can move the cursor or recolour the
// terminal. Bytes above 127 pass unchanged.
std::string Printable(std::string_view text);

// "N" when the text is the run's per-round status "N tasks running  (HH:MM:SS)".
std::string RoundStatusCount(std::string_view status);

}  // namespace vantrel::console
