// The panel on a real pseudo-terminal: the width is asked of the terminal
// itself, so a resize is seen the way a user's window change is.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "shell/console/console_view.h"

namespace vantrel::console {
namespace {

class Pty {
 public:
  Pty() {
    winsize size{24, 60, 0, 0};
    EXPECT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, &size), 0);
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);  // the bytes as written, no CR added before LF
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~Pty() {
    ::close(slave_);
    ::close(master_);
  }
  void Write(std::string_view bytes) { ASSERT_EQ(::write(slave_, bytes.data(), bytes.size()), static_cast<long>(bytes.size())); }
  int Width() const {
    winsize size{};
    return ::ioctl(slave_, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  }
  void Resize(unsigned short columns) {
    winsize size{24, columns, 0, 0};
    ::ioctl(master_, TIOCSWINSZ, &size);
  }
  // What the terminal got since the last call.
  std::string Take() {
    std::string got;
    char buffer[4096];
    for (long n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
    return got;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

std::vector<std::string> PanelLines(const std::string& frame) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = frame.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = frame.substr(start, end - start);
    std::size_t text = line.rfind("\x1b[2K");
    lines.push_back(text == std::string::npos ? line : line.substr(text + 4));
  }
  return lines;
}

TEST(ProgressOnATerminal, RisesToAHundredFollowsResizesAndKeepsCharactersWhole) {
  Pty pty;
  ConsoleView::Clock::time_point now{};
  ConsoleView view({[&](std::string_view s) { pty.Write(s); }, [&](std::string_view s) { pty.Write(s); }},
                   ConsoleView::Mode::kPanel, [&] { return pty.Width(); }, [&] { return now; });

  // A name of two-byte characters reaching past every width tried below.
  std::string name;
  for (int i = 0; i < 80; ++i) name += "\xc3\xa9";
  view.SetCell(0, 1, "Processing " + name);

  const std::regex percent(R"((\d+)%  \d+ lines)");
  std::vector<int> seen;
  const std::int64_t total = 1000;
  for (std::int64_t read = 0; read <= total; read += 125) {
    now += std::chrono::milliseconds(100);
    view.SetProgress(ProgressCounts{read, total, read / 10, read / 20, 0, 0});
    std::vector<std::string> lines = PanelLines(pty.Take());
    ASSERT_EQ(lines.size(), 13u);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(lines[12], match, percent)) << lines[12];
    seen.push_back(std::stoi(match[1]));
    for (const auto& line : lines) {
      EXPECT_EQ(Printable(line), line) << "a character was cut: " << line;
    }
    EXPECT_EQ(FitColumns(lines[1], 59), lines[1]);  // at most 59 columns on a 60-column terminal
  }
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);

  // A narrower window: redrawn at the next message step with nothing else changed.
  pty.Resize(33);
  now += std::chrono::milliseconds(100);
  view.Refresh();
  std::string frame = pty.Take();
  std::vector<std::string> lines = PanelLines(frame);
  ASSERT_EQ(lines.size(), 13u) << frame;
  EXPECT_NE(frame.find("\x1b[13A\r\x1b[J"), std::string::npos);  // the old, wider lines are cleared
  for (const auto& line : lines) {
    EXPECT_EQ(FitColumns(line, 32), line);
    EXPECT_EQ(Printable(line), line) << "a character was cut: " << line;
  }
  EXPECT_EQ(lines[1].size(), 12u + (32u - 12u - 11u) * 2u + 11u);  // "Processing " then whole é's
  // Nothing changed and the width held: nothing is drawn.
  now += std::chrono::milliseconds(100);
  view.Refresh();
  EXPECT_EQ(pty.Take(), "");
}

}  // namespace
}  // namespace vantrel::console
