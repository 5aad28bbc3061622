#include "shell/console/console_view.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::console {

namespace {

constexpr std::size_t kTaskCellWidth = 10;
constexpr char kClearLine[] = "\r\x1b[2K";
constexpr std::size_t kBarMost = 40;
constexpr std::size_t kBarLeast = 8;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the valid UTF-8 character at text[i], or 0 when the bytes
// there are not one (overlong forms and surrogates included).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = at(i);
  std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4                                   ? 4
                                                                                        : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(at(i + k))) return 0;
  }
  unsigned char second = at(i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f); }

// A box's text with its CR LF (or LF) line breaks as the terminal's own.
std::string BoxText(std::string_view text) {
  std::string lines;
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1)) {
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines += Printable(line) + "\n";
  }
  return lines + Printable(text);
}

std::string Duration(std::chrono::seconds span) {
  long long total = std::max<long long>(span.count(), 0);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = Utf8Length(text, i);
    if (length == 2 && static_cast<unsigned char>(text[i]) == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      shown += '?';  // U+0080..U+009F: the C1 controls once more, in UTF-8
      i += 2;
    } else if (length > 0) {
      shown.append(text.substr(i, length));
      i += length;
    } else {
      unsigned char c = static_cast<unsigned char>(text[i++]);
      shown += IsControl(c) ? '?' : static_cast<char>(c);
    }
  }
  return shown;
}

std::string FitColumns(std::string_view text, std::size_t columns) {
  std::size_t i = 0;
  for (std::size_t used = 0; i < text.size() && used < columns; ++used) i += std::max<std::size_t>(Utf8Length(text, i), 1);
  return std::string(text.substr(0, i));
}

std::string ProgressText(const ProgressCounts& progress, std::chrono::seconds elapsed, std::size_t columns) {
  const bool known = progress.total_bytes > 0;
  const std::int64_t read = std::clamp<std::int64_t>(progress.bytes_read, 0, known ? progress.total_bytes : INT64_MAX);
  const int percent = known ? static_cast<int>(read * 100 / progress.total_bytes) : 0;
  std::string left = "?";
  if (known && read > 0) {
    left = Duration(std::chrono::seconds(elapsed.count() * (progress.total_bytes - read) / read));
  }
  std::string facts = (known ? std::to_string(percent) + "%" : std::string("--%")) + "  " +
                      std::to_string(progress.lines_read) + " lines  good " + std::to_string(progress.good) +
                      "  bad " + std::to_string(progress.bad) + "  try again " +
                      std::to_string(progress.try_again) + "  not checked " + std::to_string(progress.not_checked) +
                      "  " + Duration(elapsed) + " elapsed, " + left + " left";
  std::size_t room = columns > facts.size() + 4 ? columns - facts.size() - 4 : 0;
  if (!known || room < kBarLeast) return facts;
  std::size_t bar = std::min(room, kBarMost);
  std::size_t filled = static_cast<std::size_t>(read * static_cast<std::int64_t>(bar) / progress.total_bytes);
  return "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "]  " + facts;
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

ConsoleView::ConsoleView(Output output, Mode mode, std::function<int()> width,
                         std::function<Clock::time_point()> now)
    : output_(std::move(output)), mode_(mode), width_(std::move(width)), now_(std::move(now)) {
  for (auto& row : cells_) row[kTaskColumn] = std::string(kTaskCellWidth, ' ');
  cells_[0][kActivityColumn] = "-Idle-";
}

ConsoleView::ConsoleView(Output output, bool tty, int width, std::function<Clock::time_point()> now)
    : ConsoleView(std::move(output), tty ? Mode::kPanel : Mode::kLines, [width] { return width; }, std::move(now)) {}

void ConsoleView::SetStatus(const std::string& text) {
  platform::MutexLock lock(mutex_);
  status_ = text;
  if (PanelLive()) {
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
  if (!PanelLive()) return;
  dirty_ = true;
  if (now_() - last_draw_ >= kRedrawGap) Draw();
}

void ConsoleView::SetProgress(const ProgressCounts& progress) {
  platform::MutexLock lock(mutex_);
  Clock::time_point now = now_();
  if (!has_progress_) {
    has_progress_ = true;
    progress_start_ = now;
    last_progress_print_ = now;
  }
  progress_ = progress;
  if (PanelLive()) {
    dirty_ = true;
    if (now - last_draw_ >= kRedrawGap) Draw();
  } else if (mode_ == Mode::kLines && panel_live_ && now - last_progress_print_ >= kProgressLineGap) {
    last_progress_print_ = now;
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - progress_start_);
    output_.out("Progress: " + ProgressText(progress_, elapsed, 0) + "\n");
  }
}

void ConsoleView::Resized() {
  platform::MutexLock lock(mutex_);
  if (PanelLive() && drawn_lines_ > 0) drawn_width_ = -1;
}

void ConsoleView::Refresh() {
  platform::MutexLock lock(mutex_);
  if (!PanelLive()) return;
  if (drawn_lines_ > 0 && drawn_width_ != width_()) dirty_ = true;
  if (dirty_ && now_() - last_draw_ >= kRedrawGap) Draw();
}

void ConsoleView::ShowBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  platform::MutexLock lock(mutex_);
  if (PanelLive() && dirty_) Draw();
  panel_live_ = false;
  if (mode_ == Mode::kQuiet && icon == MessageIcon::kNone && caption != "Warning") return;
  std::string box = "\n[" + Printable(caption) + "]\n" + BoxText(text);
  if (box.back() != '\n') box += '\n';
  (icon == MessageIcon::kStop ? output_.err : output_.out)(box);
}

void ConsoleView::Finish() {
  platform::MutexLock lock(mutex_);
  if (PanelLive() && dirty_) Draw();
  panel_live_ = false;
}

void ConsoleView::Draw() {
  // One column short of the width, so that no line wraps and the cursor
  // count stays right.
  int columns = std::max(width_(), 20);
  std::size_t width = static_cast<std::size_t>(columns - 1);
  auto fit = [width](const std::string& line) { return FitColumns(Printable(line), width); };
  std::string frame;
  if (drawn_lines_ > 0) frame += "\x1b[" + std::to_string(drawn_lines_) + "A";
  // After a resize the old lines may have wrapped: clear all below.
  if (drawn_lines_ > 0 && drawn_width_ != columns) frame += "\r\x1b[J";
  frame += kClearLine + fit("Task        Activity") + "\n";
  for (const auto& row : cells_) {
    std::string task = row[kTaskColumn];
    task.resize(std::max(task.size(), kTaskCellWidth), ' ');
    frame += kClearLine + fit(task + "  " + row[kActivityColumn]) + "\n";
  }
  frame += kClearLine + fit(status_) + "\n";
  drawn_lines_ = kTaskListRows + 2;
  if (has_progress_) {
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now_() - progress_start_);
    frame += kClearLine + fit(ProgressText(progress_, elapsed, width)) + "\n";
    ++drawn_lines_;
  }
  drawn_width_ = columns;
  dirty_ = false;
  last_draw_ = now_();
  output_.out(frame);
}

void ConsoleView::PrintStatusLine(const std::string& text) {
  if (mode_ == Mode::kQuiet || text == last_printed_) return;
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
