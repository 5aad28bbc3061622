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
    if (fail_after_ >= 0 && reads_++ >= fail_after_) return -1;
    std::size_t n = std::min({size, step_, text_.size() - pos_});
    text_.copy(buffer, n, pos_);
    pos_ += n;
    return static_cast<long>(n);
  }
  int fail_after_ = -1;

 private:
  std::string text_;
  std::size_t step_;
  std::size_t pos_ = 0;
  int reads_ = 0;
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
      {"lone lf stays in the line", "a\nb\nc", {"a\nb\nc"}},
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

TEST(TextLineReader, TreatsAReadErrorAsTheEnd) {
  ChunkedFile file("one\r\ntwo\r\nthree\r\n", 5);
  file.fail_after_ = 1;  // the second read fails
  TextLineReader reader(file);
  std::string line;
  ASSERT_TRUE(reader.ReadLine(&line));
  EXPECT_EQ(line, "one");
  EXPECT_FALSE(reader.ReadLine(&line));
  EXPECT_TRUE(reader.AtEnd());
}

}  // namespace
}  // namespace vantrel::text
