// What the dialog's status bar, task list and message boxes become on a
// terminal. On a TTY the ten task rows, the status line and a progress line
// are one panel, redrawn in place while a run lasts; otherwise status
// changes are printed as plain lines, the once-per-round status at most once
// a second and the progress at most every ten seconds. Quiet, only the
// boxes that tell results, warnings and errors are printed. Every text from
// a mail server or a file is made safe to print first.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "dialog/main_dialog.h"

namespace vantrel::console {

// How far a run has got, as the progress line shows it.
struct ProgressCounts {
  std::int64_t bytes_read = 0;
  std::int64_t total_bytes = 0;  // 0: unknown
  std::int64_t lines_read = 0;
  std::int64_t good = 0;
  std::int64_t bad = 0;
  std::int64_t try_again = 0;
  std::int64_t not_checked = 0;  // comments, blank, suspended and unchanged lines
};

class ConsoleView {
 public:
  using Clock = std::chrono::steady_clock;
  struct Output {
    std::function<void(std::string_view)> out;  // the panel, status lines and boxes
    std::function<void(std::string_view)> err;  // boxes with the stop icon
  };
  enum class Mode { kPanel, kLines, kQuiet };

  // width: the terminal's columns, asked again before every drawing.
  ConsoleView(Output output, Mode mode, std::function<int()> width,
              std::function<Clock::time_point()> now = Clock::now);
  ConsoleView(Output output, bool tty, int width, std::function<Clock::time_point()> now = Clock::now);

  // Any thread.
  void SetStatus(const std::string& text) VANTREL_EXCLUDES(mutex_);
  void SetCell(int row, int column, const std::string& text) VANTREL_EXCLUDES(mutex_);
  void SetProgress(const ProgressCounts& progress) VANTREL_EXCLUDES(mutex_);
  // The terminal changed its size (SIGWINCH): the next Refresh redraws.
  void Resized() VANTREL_EXCLUDES(mutex_);
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
  static constexpr auto kProgressLineGap = std::chrono::seconds(10);

 private:
  void Draw() VANTREL_REQUIRES(mutex_);
  void PrintStatusLine(const std::string& text) VANTREL_REQUIRES(mutex_);
  bool PanelLive() const VANTREL_REQUIRES(mutex_) { return mode_ == Mode::kPanel && panel_live_; }

  platform::Mutex mutex_;
  const Output output_;
  const Mode mode_;
  const std::function<int()> width_;
  const std::function<Clock::time_point()> now_;

  std::string status_ VANTREL_GUARDED_BY(mutex_) = "Status: Idle";
  std::array<std::array<std::string, 2>, kTaskListRows> cells_ VANTREL_GUARDED_BY(mutex_);
  bool panel_live_ VANTREL_GUARDED_BY(mutex_) = true;  // until the first box
  bool dirty_ VANTREL_GUARDED_BY(mutex_) = false;
  int drawn_lines_ VANTREL_GUARDED_BY(mutex_) = 0;
  int drawn_width_ VANTREL_GUARDED_BY(mutex_) = 0;
  Clock::time_point last_draw_ VANTREL_GUARDED_BY(mutex_){};

  bool has_progress_ VANTREL_GUARDED_BY(mutex_) = false;
  ProgressCounts progress_ VANTREL_GUARDED_BY(mutex_);
  Clock::time_point progress_start_ VANTREL_GUARDED_BY(mutex_){};
  Clock::time_point last_progress_print_ VANTREL_GUARDED_BY(mutex_){};

  std::string last_printed_ VANTREL_GUARDED_BY(mutex_);
  std::string last_round_count_ VANTREL_GUARDED_BY(mutex_);
  Clock::time_point last_round_print_ VANTREL_GUARDED_BY(mutex_){};
};

// Control characters (an ESC from a hostile mail server, a CR inside a
// line, a C1 byte that a terminal would take as CSI) shown as "?", so that
// no text can move the cursor or recolour the terminal. Valid UTF-8 and
// other bytes above 127 pass unchanged.
std::string Printable(std::string_view text);

// The first characters of a printable text that fill at most columns
// terminal columns; never ends inside a UTF-8 character.
std::string FitColumns(std::string_view text, std::size_t columns);

// The progress line: a bar when there is room, the share read, the lines
// read, the counts so far, the elapsed time and an estimate of the rest.
std::string ProgressText(const ProgressCounts& progress, std::chrono::seconds elapsed, std::size_t columns);

// "N" when the text is the run's per-round status "N tasks running  (HH:MM:SS)".
std::string RoundStatusCount(std::string_view status);

}  // namespace vantrel::console
