#include "shell/console/console_view.h"

#include <algorithm>

namespace vantrel::console {

namespace {

constexpr std::size_t kTaskCellWidth = 10;
constexpr char kClearLine[] = "\r\x1b[2K";

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }

// A box's text with its CR LF line breaks as the terminal's own.
std::string BoxText(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i] == '\n' ? std::string("\n") : Printable(std::string_view(&text[i], 1));
  }
  return lines;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown(text);
  std::replace_if(shown.begin(), shown.end(), IsControl, '?');
  return shown;
}

std::string RoundStatusCount(std::string_view status) {
  constexpr std::string_view kPrefix = "Status: ";
  constexpr std::string_view kRunning = " tasks running  (";
  if (status.substr(0, kPrefix.size()) != kPrefix) return {};
  status.remove_prefix(kPrefix.size());
  std::size_t digits = 0;
  while (digits < status.size() && status[digits] >= '0' && status[digits] <= '9') ++digits;
  if (digits == 0 || status.substr(digits, kRunning.size()) != kRunning || status.back() != ')') return {};
  return std::string(status.substr(0, digits));
}

ConsoleView::ConsoleView(Output output, bool tty, int width, std::function<Clock::time_point()> now)
    : output_(std::move(output)), tty_(tty), width_(std::max(width, 20)), now_(std::move(now)) {
  for (auto& row : cells_) row[kTaskColumn] = std::string(kTaskCellWidth, ' ');
  cells_[0][kActivityColumn] = "-Idle-";
}

void ConsoleView::SetStatus(const std::string& text) {
  platform::MutexLock lock(mutex_);
  status_ = text;
  if (tty_ && panel_live_) {
    dirty_ = true;
    if (now_() - last_draw_ >= kRedrawGap) Draw();
    return;
  }
  PrintStatusLine(text);
}

void ConsoleView::SetCell(int row, int column, const std::string& text) {
  if (row < 0 || row >= kTaskListRows || (column != kTaskColumn && column != kActivityColumn)) return;
  platform::MutexLock lock(mutex_);
  cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
  // Off a TTY the task rows are left to the run log, which has every step.
  if (!tty_ || !panel_live_) return;
  dirty_ = true;
  if (now_() - last_draw_ >= kRedrawGap) Draw();
}

void ConsoleView::Refresh() {
  platform::MutexLock lock(mutex_);
  if (dirty_ && now_() - last_draw_ >= kRedrawGap) Draw();
}

void ConsoleView::ShowBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  platform::MutexLock lock(mutex_);
  if (tty_ && panel_live_ && dirty_) Draw();
  panel_live_ = false;
  std::string box = "\n[" + Printable(caption) + "]\n" + BoxText(text);
  if (box.back() != '\n') box += '\n';
  (icon == MessageIcon::kStop ? output_.err : output_.out)(box);
}

void ConsoleView::Finish() {
  platform::MutexLock lock(mutex_);
  if (tty_ && panel_live_ && dirty_) Draw();
  panel_live_ = false;
}

void ConsoleView::Draw() {
  // One line short of the width, so that no line wraps and the cursor
  // count stays right.
  std::size_t width = static_cast<std::size_t>(width_ - 1);
  auto fit = [width](std::string line) {
    line = Printable(line);
    if (line.size() > width) line.resize(width);
    return line;
  };
  std::string frame;
  if (drawn_lines_ > 0) frame += "\x1b[" + std::to_string(drawn_lines_) + "A";
  frame += kClearLine + fit("Task        Activity") + "\n";
  for (const auto& row : cells_) {
    std::string task = row[kTaskColumn];
    task.resize(std::max(task.size(), kTaskCellWidth), ' ');
    frame += kClearLine + fit(task + "  " + row[kActivityColumn]) + "\n";
  }
  frame += kClearLine + fit(status_) + "\n";
  drawn_lines_ = kTaskListRows + 2;
  dirty_ = false;
  last_draw_ = now_();
  output_.out(frame);
}

void ConsoleView::PrintStatusLine(const std::string& text) {
  if (text == last_printed_) return;
  std::string count = RoundStatusCount(text);
  if (!count.empty()) {
    // The run shows this every polling round with the time in it: print it
    // when the number of tasks changes, otherwise once a second.
    Clock::time_point now = now_();
    if (count == last_round_count_ && now - last_round_print_ < kRoundStatusGap) return;
    last_round_count_ = count;
    last_round_print_ = now;
  } else if (text == "Status: Writing log file.") {
    return;  // a flicker between two rounds; it says nothing in a transcript
  }
  last_printed_ = text;
  output_.out(Printable(text) + "\n");
}

}  // namespace vantrel::console
