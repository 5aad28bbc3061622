#include "run/member_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "run/result_files.h"
#include "tests/support/memory_file_system.h"

namespace vantrel::run {
namespace {

TEST(ResultNames, TrailingDotsAndBlanksGoBeforeTheSuffix) {
  struct Case {
    std::string list, ok, bad;
  };
  const std::vector<Case> cases = {
      {"MEMBERS.LST", "MEMBERS.LST.OK", "MEMBERS.LST.BAD"},
      {"LIST.", "LIST.OK", "LIST.BAD"},
      {"LIST. ", "LIST.OK", "LIST.BAD"},
      {"LIST .. .", "LIST.OK", "LIST.BAD"},
      {"dir.d/list", "dir.d/list.OK", "dir.d/list.BAD"},
      {" lead", " lead.OK", " lead.BAD"},
      {"...", ".OK", ".BAD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResultListName(c.list), c.ok) << c.list;
    EXPECT_EQ(BadAddressFileName(c.list), c.bad) << c.list;
  }
}

TEST(ClassifyLine, EveryKindOfLine) {
  struct Case {
    std::string read;
    LineKind kind;
    std::string line;
    bool soft_dns;
  };
  const std::vector<Case> cases = {
      {"", LineKind::kNotAnAddress, "", false},
      {"# heading", LineKind::kNotAnAddress, "# heading", false},
      {"++ no at sign", LineKind::kNotAnAddress, "++ no at sign", false},
      {"a@b.example", LineKind::kAddress, "a@b.example", false},
      {"  a@b.example ", LineKind::kAddress, "  a@b.example ", false},
      {"a@b@c.example", LineKind::kAddress, "a@b@c.example", false},
      {"+a@b.example", LineKind::kSuspended, "+a@b.example", false},
      {"   +a@b.example", LineKind::kSuspended, "   +a@b.example", false},
      {"++a@b.example", LineKind::kAddress, "a@b.example", true},
      {"++ a@b.example", LineKind::kAddress, " a@b.example", true},
      {"+++a@b.example", LineKind::kSuspended, "+a@b.example", true},
      // The cut takes the first two characters as read, here the blanks.
      {"  ++a@b.example", LineKind::kSuspended, "++a@b.example", true},
      {" ++a@b.example", LineKind::kSuspended, "+a@b.example", true},
      {"\t+a@b.example", LineKind::kAddress, "\t+a@b.example", false},
  };
  for (const Case& c : cases) {
    ClassifiedLine got = ClassifyLine(c.read);
    EXPECT_EQ(got.kind, c.kind) << c.read;
    EXPECT_EQ(got.line, c.line) << c.read;
    EXPECT_EQ(got.was_soft_dns, c.soft_dns) << c.read;
  }
}

TEST(DomainOf, TheDomainOfTheAddressTheProbeUses) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a@b.example", "b.example"},
      {"a@b@c.example", "b"},
      {"a@b .example", "b"},
      {"Anna Example <anna@b.example>", "b.example"},
      {"anna@b.example (Anna)", "b.example"},
      {"anna@b.example.", "b.example"},
      {"anna@b.example..", "b.example."},
      // No address the pattern finds: everything after the first "@", trimmed.
      {" a@ b.example  ", "b.example"},
      {"a@", ""},
      {"a@  ", ""},
  };
  for (const auto& [line, domain] : cases) EXPECT_EQ(DomainOf(line), domain) << line;
}

std::vector<std::string> ReadAll(testing::MemoryFileSystem& files, const std::string& name) {
  std::unique_ptr<MemberList> list = MemberList::Open(files, name);
  std::vector<std::string> lines;
  std::string line;
  while (list && list->ReadLine(&line)) lines.push_back(line);
  return lines;
}

TEST(MemberList, ReadsLinesWithItsOwnFraming) {
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a@x\r\nb@y\r\n", {"a@x", "b@y"}},
      {"a@x\r\nb@y", {"a@x", "b@y"}},
      {"a@x\nb@y\n", {"a@x", "b@y"}},
      {"a@x\n\nb@y", {"a@x", "", "b@y"}},
      {"a@x\r\nb@y\nc@z\r\n", {"a@x", "b@y\nc@z"}},
      {"a@x\rb@y\nc@z", {"a@x", "b@y\nc@z"}},
      // One CR past the first read buffer still frames every line before it.
      {std::string(20000, '\n') + "\r", {std::string(20000, '\n')}},
      {"a@x\nb@y\x1a\r\n", {"a@x", "b@y"}},
      {"a@x\rb@y\r", {"a@x", "b@y"}},
      {"\r\n\r\n", {"", ""}},
      {"a@x\r\n\x1a" "b@y\r\n", {"a@x"}},
      {"a@x\x1a" "b@y\r\n", {"a@x"}},
      {"\x1a" "a@x\r\n", {}},
  };
  for (const Case& c : cases) {
    testing::MemoryFileSystem files;
    files.files["L"] = c.content;
    EXPECT_EQ(ReadAll(files, "L"), c.lines) << c.content;
  }
}

TEST(MemberList, OpenFailsForAFileHeldElsewhere) {
  testing::MemoryFileSystem files;
  files.files["L"] = "a@x\r\n";
  files.locked.insert("L");
  EXPECT_EQ(MemberList::Open(files, "L"), nullptr);
}

TEST(ResultList, WritesCrLfLinesAndRemembersEveryFailure) {
  testing::MemoryFileSystem files;
  files.files["R"] = "old content\r\n";
  {
    ResultList list(files, "R");
    list.WriteLine("a@x");
    list.WriteLine("");
    EXPECT_TRUE(list.Complete());
  }
  EXPECT_EQ(files.files["R"], "a@x\r\n\r\n");

  files.locked.insert("L1");
  ResultList locked(files, "L1");
  locked.WriteLine("a@x");
  EXPECT_FALSE(locked.Complete());

  files.failing_write.insert("L2");
  ResultList failing(files, "L2");
  EXPECT_TRUE(failing.Complete());
  failing.WriteLine("a@x");
  EXPECT_FALSE(failing.Complete());
}

TEST(BadAddressFile, EntriesAccumulate) {
  testing::MemoryFileSystem files;
  EXPECT_TRUE(AppendBadAddressEntry(files, "B", "500 no", " a@x"));
  EXPECT_TRUE(AppendBadAddressEntry(files, "B", "400 later", "b@y"));
  EXPECT_EQ(files.files["B"], "## 500 no  a@x\r\n a@x\r\n## 400 later b@y\r\nb@y\r\n");
  files.locked.insert("B");
  EXPECT_FALSE(AppendBadAddressEntry(files, "B", "500 no", "c@z"));
}

}  // namespace
}  // namespace vantrel::run
