// Files a run must not use as they stand: a log it cannot write, a "list"
// that is some other file or no file at all, a list it cannot read whole.
// Each is refused or reported, and nothing of the user's is changed or lost.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "platform/file.h"
#include "probe/shared_state.h"
#include "tests/support/crlf_lines.h"
#include "run/member_list.h"
#include "settings/settings.h"
#include "tests/run/run_fixture.h"
#include "tests/support/memory_file_system.h"

namespace vantrel::testing {
namespace {

namespace fs = std::filesystem;

std::string Content(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Every entry of the current folder: an ordinary file by its content, anything
// else by its kind only (reading a pipe would block).
std::map<std::string, std::string> Folder() {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(".")) {
    std::string name = entry.path().filename().string();
    if (entry.is_regular_file()) {
      entries[name] = Content(name);
    } else {
      entries[name] = entry.is_directory() ? "<folder>" : "<other>";
    }
  }
  return entries;
}

void EmptyFolder() {
  for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
}

using Held = std::unique_ptr<platform::WritableFile>;

struct Case {
  const char* name;
  // Prepares the folder (or, when memory is set, the in-memory files) and
  // returns whatever must stay held during the run.
  std::function<Held(MemoryFileSystem&)> setup;
  bool memory;
  int mode_button;
  std::string list;
  RunEnd end;
  std::string says;                 // in the "Error" box, or in the "Results" box
  std::vector<std::string> result;  // the result list of a completed run
  bool stop = false;                 // the window closes as the tasks start
};

TEST_F(RunTest, UnusableFilesAreRefusedOrReportedAndNothingIsLost) {
  ASSERT_EQ(kSettingsFileName, std::string(run::kSettingsFileName));
  const std::string list = "a@good.test\r\nb@good.test\r\n";
  auto write_list = [list](MemoryFileSystem&) {
    WriteFile("L", list);
    return Held();
  };
  const std::string log_refused = "Cannot write to the run log.\r\n\r\nvantrel.log\r\n\r\n";
  const std::vector<Case> cases = {
      {"log is a folder", [&](MemoryFileSystem& m) { fs::create_directory("vantrel.log"); return write_list(m); },
       false, kRemoveButton, "L", RunEnd::kRefused, log_refused, {}},
      {"log held beyond the wait",
       [&](MemoryFileSystem& m) {
         write_list(m);
         WriteFile("vantrel.log", "earlier run\r\n");
         return platform::RealFileSystem().OpenAppend("vantrel.log");
       },
       false, kRemoveButton, "L", RunEnd::kRefused, log_refused, {}},
      {"log is a pipe", [&](MemoryFileSystem& m) { ::mkfifo("vantrel.log", 0644); return write_list(m); }, false,
       kRemoveButton, "L", RunEnd::kRefused, log_refused, {}},
      {"log read-only",
       [&](MemoryFileSystem& m) {
         m.files["L"] = list;
         m.files["vantrel.log"] = "earlier run\r\n";
         m.read_only.insert("vantrel.log");
         return Held();
       },
       true, kRemoveButton, "L", RunEnd::kRefused, log_refused, {}},
      {"list is the settings file",
       [](MemoryFileSystem&) { WriteFile("Vantrel.INI", "FILE=x@good.test\r\n"); return Held(); }, false,
       kRemoveButton, "Vantrel.INI", RunEnd::kRefused,
       "The input file is the settings file Vantrel.INI, not a member list.\r\n\r\nVantrel.INI\r\n\r\n", {}},
      {"list is the run log", [](MemoryFileSystem&) { WriteFile("vantrel.log", "0 a@good.test\r\n"); return Held(); },
       false, kRemoveButton, "./vantrel.log", RunEnd::kRefused, "is the run log vantrel.log, not a member list", {}},
      {"list is its own result list",
       [&](MemoryFileSystem& m) { write_list(m); ::link("L", "L.OK"); return Held(); }, false, kRemoveButton, "L",
       RunEnd::kRefused, "is its own result list L.OK, not a member list", {}},
      {"list is its own bad-address file",
       [&](MemoryFileSystem& m) { write_list(m); ::symlink("L", "L.BAD"); return Held(); }, false,
       kWriteToFileButton, "L", RunEnd::kRefused, "is its own bad-address file L.BAD, not a member list", {}},
      {"list is a pipe", [](MemoryFileSystem&) { ::mkfifo("P", 0644); return Held(); }, false, kRemoveButton, "P",
       RunEnd::kRefused, "File not found.\r\n\r\nP\r\n", {}},
      {"list saved as UTF-16",
       [](MemoryFileSystem&) { WriteFile("U", std::string("\xFF\xFE" "a\0@\0g\0\r\0\n\0", 12)); return Held(); },
       false, kRemoveButton, "U", RunEnd::kRefused, "U\r\n\r\nSave it as ANSI or UTF-8 and try again.", {}},
      {"Ctrl-Z in the middle of the list",
       [](MemoryFileSystem&) { WriteFile("L", "a@good.test\r\n# half\x1a" "b@good.test\r\nc@good.test\r\n"); return Held(); },
       false, kRemoveButton, "L", RunEnd::kCompleted,
       "WARNING: Reading L stopped at line 2, at a Ctrl-Z character with more text after it.",
       {"# half", "a@good.test"}},
      {"read error in the middle of the list",
       [&](MemoryFileSystem& m) {
         m.files["L"] = list + "c@good.test\r\n";
         m.read_error_at["L"] = list.size() + 3;
         return Held();
       },
       true, kRemoveButton, "L", RunEnd::kCompleted,
       "WARNING: Reading L stopped at line 3, because the file could not be read further.",
       {"a@good.test", "b@good.test"}},
      {"log fills the disk during the run",
       [](MemoryFileSystem& m) {
         m.files["L"] = "x@refused.test\r\ny@refused.test\r\nz@good.test\r\n";
         m.failing_write.insert("vantrel.log");
         return Held();
       },
       true, kRemoveButton, "L", RunEnd::kCompleted,
       "WARNING: Not everything could be written to vantrel.log. 2 removed addresses may be recorded nowhere.",
       {"z@good.test"}},
      {"result list fills the disk",
       [](MemoryFileSystem& m) { m.files["L"] = "# one\r\n"; m.failing_write.insert("L.OK"); return Held(); },
       true, kRemoveButton, "L", RunEnd::kCompleted, "WARNING: Not every line could be written to L.OK.", {}},
      {"bad-address file fills the disk",
       [](MemoryFileSystem& m) {
         m.files = {{"L", "x@refused.test\r\n"}, {"L.BAD", "## 500 earlier\r\nw@refused.test\r\n"}};
         m.failing_write.insert("L.BAD");
         return Held();
       },
       true, kWriteToFileButton, "L", RunEnd::kCompleted, "could not be written to L.BAD", {"x@refused.test"}},
      {"result list fills the disk as a stop puts the lines back",
       [](MemoryFileSystem& m) { m.files["L"] = "a@good.test\r\n# two\r\n"; m.failing_write.insert("L.OK"); return Held(); },
       true, kSuspendButton, "L", RunEnd::kStopped,
       "ERROR: The result list L.OK could not be written in full; the member list is unchanged.", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmptyFolder();
    MemoryFileSystem memory;
    memory.read_piece = 4096;
    Held held = c.setup(memory);
    const auto folder_before = Folder();
    const auto memory_before = memory.files;
    const std::size_t enables_before = dialog_.EnableCalls().size();

    dialog_.SelectErrorMode(c.mode_button);
    dialog_.SetText(kInputListBox, c.list);
    if (c.stop) dialog_.OnProcessMessage([] { Shared().stop_flag = -1; });
    RunEnd end = c.memory ? RunVerification(dialog_, memory, platform::RealNetwork())
                          : RunVerification(dialog_, platform::RealFileSystem(), platform::RealNetwork());
    held.reset();
    ASSERT_EQ(end, c.end);
    const FakeMainDialog::MessageBox box = dialog_.MessageBoxes().back();
    EXPECT_NE(box.text.find(c.says), std::string::npos) << box.text;
    if (c.end == RunEnd::kRefused) {
      EXPECT_EQ(box.caption, "Error");
      EXPECT_EQ(box.icon, MessageIcon::kStop);
      EXPECT_EQ(dialog_.EnableCalls().size(), enables_before) << "a refused run disables nothing";
      EXPECT_EQ(Folder(), folder_before);
      EXPECT_EQ(memory.files, memory_before);
      continue;
    }
    if (c.end == RunEnd::kStopped) {
      dialog_.OnProcessMessage(nullptr);
      ASSERT_TRUE(dialog_.WaitFor([] { return Shared().running_tasks.load() == 0; }, 20000));
      EXPECT_EQ(box.caption, "Error");
      EXPECT_EQ(box.icon, MessageIcon::kStop);
      EXPECT_NE(memory.files["vantrel.log"].find("\r\n" + c.says + "\r\n"), std::string::npos);
      EXPECT_EQ(memory.files["L"], memory_before.at("L")) << "the member list is never written";
      continue;
    }
    EXPECT_EQ(box.caption, "Results");
    const std::string result_list = c.memory ? memory.files["L.OK"] : ReadFile("L.OK");
    EXPECT_EQ(Sorted(CrLfLines(result_list)), c.result);
    EXPECT_EQ(c.memory ? memory.files["L"] : ReadFile("L"), c.memory ? memory_before.at("L") : folder_before.at("L"))
        << "the member list is never written";
    // A full disk may cut a file short, but never in the middle of a line.
    for (const auto& [name, content] : memory.files) {
      EXPECT_TRUE(content.empty() || content.rfind("\r\n") == content.size() - 2 || name == "vantrel.log") << name;
    }
  }
}

}  // namespace
}  // namespace vantrel::testing
