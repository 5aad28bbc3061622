#include "text/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel::text {
namespace {

// Serves a text in reads of at most `step` bytes, to cross every boundary.
class ChunkedFile : public platform::ReadableFile {
 public:
  ChunkedFile(std::string text, std::size_t step) : text_(std::move(text)), step_(step) {}
  long Read(char* buffer, std::size_t size) override {
    if (fail_after_ >= 0 && pos_ >= static_cast<std::size_t>(fail_after_)) return -1;
    std::size_t n = std::min({size, step_, text_.size() - pos_});
    text_.copy(buffer, n, pos_);
    pos_ += n;
    return static_cast<long>(n);
  }
  bool Rewind() override { return (pos_ = 0) == 0; }
  int fail_after_ = -1;

 private:
  std::string text_;
  std::size_t step_;
  std::size_t pos_ = 0;
};

std::vector<std::string> ReadAll(const std::string& text, std::size_t step) {
  ChunkedFile file(text, step);
  TextLineReader reader(file);
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadLine(&line)) lines.push_back(line);
  return lines;
}

struct FramingCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

TEST(TextLineReader, FramesLinesAtCrWhateverTheReadSize) {
  const std::vector<FramingCase> cases = {
      {"crlf", "a\r\nb\r\n", {"a", "b"}},
      {"cr only", "a\rb\r", {"a", "b"}},
      {"lone lf stays in a line of a text with a cr", "a\nb\nc\r", {"a\nb\nc"}},
      {"lf only", "a\nb\n", {"a", "b"}},
      {"lf only, last line without end", "a\n\nb", {"a", "", "b"}},
      {"a cr after a ctrl-z leaves lf framing", "a\nb\x1a\r\n", {"a", "b"}},
      {"last line without end", "a\r\nb", {"a", "b"}},
      {"empty file", "", {}},
      {"blank lines", "\r\n\r\nx\r\n", {"", "", "x"}},
      {"ctrl-z ends the file", "a\r\nb\x1a" "c\r\nd\r\n", {"a", "b"}},
      {"ctrl-z at a line start", "a\r\n\x1a" "b\r\n", {"a"}},
      {"lf after cr is one end, a second lf starts the next line", "a\r\n\nb\r\n", {"a", "\nb"}},
  };
  for (const auto& c : cases) {
    for (std::size_t step : {1u, 2u, 3u, 7u, 4096u}) {
      EXPECT_EQ(ReadAll(c.text, step), c.lines) << c.name << ", reads of " << step;
    }
  }
}

TEST(TextLineReader, KeepsALongLineWhole) {
  std::string longline(1 << 20, 'x');
  auto lines = ReadAll(longline + "\r\nshort", 65536);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], longline);
  EXPECT_EQ(lines[1], "short");
}

// A caller must be able to tell a whole file from one cut short, and say in
// which line reading stopped.
TEST(TextLineReader, TellsWhyAndWhereReadingEnded) {
  struct Case {
    const char* name;
    std::string text;
    int fail_after_bytes;  // -1: never
    std::vector<std::string> lines;
    TextEnd end;
    std::int64_t end_line;
  };
  const std::vector<Case> cases = {
      {"whole file", "a\r\nb\r\n", -1, {"a", "b"}, TextEnd::kEndOfFile, 3},
      {"ctrl-z as the last byte", "a\r\n\x1a", -1, {"a"}, TextEnd::kEndOfFile, 2},
      {"ctrl-z inside a line", "a\r\nb\x1a" "c\r\nd\r\n", -1, {"a", "b"}, TextEnd::kCtrlZ, 2},
      {"ctrl-z at a line start", "a\r\n\x1a" "b", -1, {"a"}, TextEnd::kCtrlZ, 2},
      {"read error after a line end", "one\r\ntwo\r\n", 5, {"one"}, TextEnd::kReadError, 2},
      {"read error inside a line drops its part", "one\r\ntwo", 7, {"one"}, TextEnd::kReadError, 2},
  };
  for (const auto& c : cases) {
    ChunkedFile file(c.text, 1);
    file.fail_after_ = c.fail_after_bytes;
    TextLineReader reader(file);
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(&line)) lines.push_back(line);
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_TRUE(reader.AtEnd()) << c.name;
    EXPECT_EQ(reader.End(), c.end) << c.name;
    EXPECT_EQ(reader.EndLine(), c.end_line) << c.name;
  }
}

// A stopped run appends the unread rest of its list as bytes after lines it
// wrote with CR LF: the next run must read the same lines from the copy, and
// the report must get a row for each of them.
TEST(TextLineReader, CopiedRestFramesTheSameAfterCrLfLines) {
  const std::vector<std::string> texts = {"a\nb\n\nc\n", "a\nb", "a\r\nb\nc\r\nd", "a\rb\r\n\nc\r",
                                          "a\r\nb\x1a" "c\r\n", "a\nb\n\x1a\r", ""};
  for (const std::string& text : texts) {
    const std::vector<std::string> lines = ReadAll(text, 4096);
    for (std::size_t taken = 0; taken <= lines.size(); ++taken) {
      for (std::size_t step : {1u, 2u, 4096u}) {
        ChunkedFile file(text, step);
        TextLineReader reader(file);
        std::string copy, line;
        for (std::size_t i = 0; i < taken && reader.ReadLine(&line); ++i) copy += line + kLineEnd;
        std::vector<std::string> told;
        std::int64_t copied = reader.CopyRest([&](std::string_view piece) { return copy.append(piece), true; },
                                              [&](std::string_view whole) { told.emplace_back(whole); });
        EXPECT_EQ(told, std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(taken), lines.end()));
        EXPECT_EQ(ReadAll(copy, step), lines) << ::testing::PrintToString(copy) << " after " << taken << " lines";
        EXPECT_EQ(copied, static_cast<std::int64_t>(lines.size() - taken)) << ::testing::PrintToString(copy);
        EXPECT_TRUE(copy.empty() || copy.back() == '\n' || copy.back() == '\r');
      }
    }
  }
}

TEST(TextLineReader, PeekLeavesTheStartToBeRead) {
  ChunkedFile file("\xEF\xBB\xBF" "a\r\nb", 1);
  TextLineReader reader(file);
  EXPECT_EQ(reader.Peek(2), "\xEF\xBB");
  std::string line;
  ASSERT_TRUE(reader.ReadLine(&line));
  EXPECT_EQ(line, "\xEF\xBB\xBF" "a");
  ChunkedFile tiny("x", 1);
  EXPECT_EQ(TextLineReader(tiny).Peek(2), "x");
}

}  // namespace
}  // namespace vantrel::text
