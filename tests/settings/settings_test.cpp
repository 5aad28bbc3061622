#include "settings/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "probe/shared_state.h"
#include "shell/lifecycle.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/settings_file.h"

namespace vantrel {
namespace {

using testing::FakeMainDialog;
using testing::MemoryFileSystem;

// What the controls hold, in one comparable value.
struct Controls {
  DialogPoint position;
  int body = 0;
  int mode = 0;  // 0 none, 1 Remove, 2 Suspend, 3 Write to file
  std::string dns, file, from;
  std::string proxy = "";  // kept by the dialog without a control

  bool operator==(const Controls& o) const {
    return position.x == o.position.x && position.y == o.position.y && body == o.body && mode == o.mode &&
           dns == o.dns && file == o.file && from == o.from && proxy == o.proxy;
  }
};

std::ostream& operator<<(std::ostream& out, const Controls& c) {
  return out << "{(" << c.position.x << "," << c.position.y << ") body " << c.body << " mode " << c.mode
             << " dns \"" << c.dns << "\" file \"" << c.file << "\" from \"" << c.from << "\" proxy \"" << c.proxy
             << "\"}";
}

Controls Read(FakeMainDialog& dialog) {
  Controls c;
  c.position = dialog.GetPosition();
  c.body = dialog.GetBodyCheck();
  if (dialog.IsErrorModeSelected(kRemoveButton)) c.mode = 1;
  if (dialog.IsErrorModeSelected(kSuspendButton)) c.mode = 2;
  if (dialog.IsErrorModeSelected(kWriteToFileButton)) c.mode = 3;
  c.dns = dialog.GetText(kDnsServerControl);
  c.file = dialog.GetText(kInputListBox);
  c.from = dialog.GetText(kFromBox);
  c.proxy = dialog.GetText(kProxySetting);
  return c;
}

const Controls kBuildState = {{85, 66}, 0, 0, "192.168.1.1", "MEMBERS.LST", "<you@example.com>"};
const Controls kDefaults = {{85, 66}, 1, 2, "192.168.1.1", "MEMBERS.LST", "<you@example.com>"};

Controls LoadFrom(const std::string& text) {
  MemoryFileSystem files;
  files.files[kSettingsFileName] = text;
  FakeMainDialog dialog;
  LoadSettings(dialog, files);
  return Read(dialog);
}

Controls With(Controls c, void (*change)(Controls&)) {
  change(c);
  return c;
}

struct LoadCase {
  const char* name;
  std::string text;
  Controls expected;
};

TEST(LoadSettings, AppliesEachLineByItsPrefix) {
  const std::vector<LoadCase> cases = {
      {"empty file: build state, not the defaults", "", kBuildState},
      {"comments and blank lines", "; DNS=1.2.3.4\r\n\r\n  DNS=1.2.3.4\r\n", kBuildState},
      {"all six keys",
       "LOCATION=10:20\r\nBODY=1\r\nDNS=10.0.0.1\r\nERROR=1\r\nFILE=list.txt\r\nFROM=a@b.c\r\n",
       {{10, 20}, 1, 1, "10.0.0.1", "list.txt", "a@b.c"}},
      {"lower- and mixed-case keys are ignored", "dns=1.1.1.1\r\nFrom=x@y\r\nloc=1:2\r\nErr=1\r\n", kBuildState},
      {"only the prefix counts", "LOCK=1:2\r\nFILTER=f.lst\r\nDNSX=9.9.9.9\r\nFRONT=me\r\n",
       With(kBuildState, [](Controls& c) { c.position = {1, 2}; c.file = "f.lst"; c.dns = "9.9.9.9"; c.from = "me"; })},
      {"value after the first = only, untrimmed", "FROM= a=b@c =\r\nFILE==x\r\n",
       With(kBuildState, [](Controls& c) { c.from = " a=b@c ="; c.file = "=x"; })},
      {"a key without = has the empty value", "FROM\r\nDNS\r\n",
       With(kBuildState, [](Controls& c) { c.from = ""; c.dns = ""; })},
      {"nothing after = empties the box", "FROM=\r\n", With(kBuildState, [](Controls& c) { c.from = ""; })},
      {"last line wins", "DNS=1.1.1.1\r\nERROR=1\r\nDNS=2.2.2.2\r\nERROR=2\r\n",
       With(kBuildState, [](Controls& c) { c.dns = "2.2.2.2"; c.mode = 2; })},
      {"PRO names the proxy, kept as it stands", "PROXY=x\r\nPROTO= socks5://u:p@h:1\r\n",
       With(kBuildState, [](Controls& c) { c.proxy = " socks5://u:p@h:1"; })},
      {"invalid DNS text goes in unchanged", "DNS=not an address\r\n",
       With(kBuildState, [](Controls& c) { c.dns = "not an address"; })},
      {"LF-only file", "FROM=a@b\nDNS=1.1.1.1\nERROR=1",
       With(kBuildState, [](Controls& c) { c.from = "a@b"; c.dns = "1.1.1.1"; c.mode = 1; })},
      {"a CR anywhere keeps lone LFs in their lines", "FROM=a@b\nDNS=1.1.1.1\r\nERROR=1\n",
       With(kBuildState, [](Controls& c) { c.from = "a@b\nDNS=1.1.1.1"; c.mode = 1; })},
      {"CR-only line ends", "DNS=1.1.1.1\rERROR=1\r", With(kBuildState, [](Controls& c) { c.dns = "1.1.1.1"; c.mode = 1; })},
      {"Ctrl-Z ends the file", "DNS=1.1.1.1\r\n\x1a" "ERROR=1\r\n", With(kBuildState, [](Controls& c) { c.dns = "1.1.1.1"; })},
      {"last line without its end", "ERROR=1", With(kBuildState, [](Controls& c) { c.mode = 1; })},
      // BODY: 0 unchecks, any other number checks, no number is 0
      {"BODY=2 checks", "BODY=2\r\n", With(kBuildState, [](Controls& c) { c.body = 1; })},
      {"BODY=-1 checks", "BODY=-1\r\n", With(kBuildState, [](Controls& c) { c.body = 1; })},
      {"BODY=&H100000000 checks", "BODY=&H100000000\r\n", With(kBuildState, [](Controls& c) { c.body = 1; })},
      {"BODY=0.4 rounds to 0", "BODY=1\r\nBODY=0.4\r\n", kBuildState},
      {"BODY= unchecks", "BODY=1\r\nBODY=\r\n", kBuildState},
      {"BODY=yes unchecks", "BODY=1\r\nBODY=yes\r\n", kBuildState},
      // ERROR: 1 and 2, anything else is Write to file
      {"ERROR=1", "ERROR=1\r\n", With(kBuildState, [](Controls& c) { c.mode = 1; })},
      {"ERROR= 2 with a blank", "ERROR= 2\r\n", With(kBuildState, [](Controls& c) { c.mode = 2; })},
      {"ERROR=&H2", "ERROR=&H2\r\n", With(kBuildState, [](Controls& c) { c.mode = 2; })},
      {"ERROR=1.5 rounds to 2", "ERROR=1.5\r\n", With(kBuildState, [](Controls& c) { c.mode = 2; })},
      {"ERROR=0", "ERROR=0\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      {"ERROR=3", "ERROR=3\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      {"ERROR=9", "ERROR=9\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      {"ERROR=x", "ERROR=x\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      {"ERROR=1E999", "ERROR=1E999\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      {"ERROR=-1E999", "ERROR=-1E999\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      {"ERROR=&HFFFFFFFF01", "ERROR=&HFFFFFFFF01\r\n", With(kBuildState, [](Controls& c) { c.mode = 3; })},
      // LOCATION
      {"LOCATION without : is ignored", "LOCATION=10\r\n", kBuildState},
      {"LOCATION=:50", "LOCATION=:50\r\n", With(kBuildState, [](Controls& c) { c.position = {0, 50}; })},
      {"negative x, uncorrected", "LOCATION=-40:7\r\n", With(kBuildState, [](Controls& c) { c.position = {-40, 7}; })},
      {"blanks around the numbers", "LOCATION= 10 : 20\r\n", With(kBuildState, [](Controls& c) { c.position = {10, 20}; })},
      {"only the first : splits", "LOCATION=1:2:3\r\n", With(kBuildState, [](Controls& c) { c.position = {1, 2}; })},
      {"LOCATION=:", "LOCATION=:\r\n", With(kBuildState, [](Controls& c) { c.position = {0, 0}; })},
      {"huge coordinates stay in range", "LOCATION=1E999:-1E999\r\n",
       With(kBuildState, [](Controls& c) { c.position = {2147483647, -2147483647 - 1}; })},
      {"fractions round halves to even", "LOCATION=2.5:3.5\r\n", With(kBuildState, [](Controls& c) { c.position = {2, 4}; })},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadFrom(c.text), c.expected) << c.name;
}

TEST(LoadSettings, LongLinesAreReadWhole) {
  std::string from(100000, 'x');
  EXPECT_EQ(LoadFrom("FROM=" + from + "\r\n").from, from);
}

struct MissingCase {
  const char* name;
  void (*setup)(MemoryFileSystem&);
};

TEST(LoadSettings, AppliesTheDefaultsWhenTheFileIsMissingOrUnreadable) {
  const std::vector<MissingCase> cases = {
      {"no file", [](MemoryFileSystem&) {}},
      {"hidden file", [](MemoryFileSystem& fs) { fs.hidden.insert(kSettingsFileName); }},
      {"file cannot be opened", [](MemoryFileSystem& fs) { fs.unreadable.insert(kSettingsFileName); }},
  };
  for (const auto& c : cases) {
    MemoryFileSystem files;
    files.files[kSettingsFileName] = "DNS=1.1.1.1\r\nLOCATION=1:2\r\nFROM=other\r\n";
    if (std::string(c.name) == "no file") files.files.clear();
    c.setup(files);
    FakeMainDialog dialog;
    dialog.SetText(kDnsServerControl, "changed");  // the defaults set the DNS text whatever it was
    LoadSettings(dialog, files);
    EXPECT_EQ(Read(dialog), kDefaults) << c.name;
  }
}

const std::string kFifteenLines = testing::SettingsFile("-3:70", 1, "127.0.0.1", 3, " list.lst ", "me=you@example.com");
const std::string kFourteenLines = testing::SettingsFile("85:66", 0, "192.168.1.1", 0, "MEMBERS.LST", "<you@example.com>");

TEST(SaveSettings, WritesFifteenLinesWithAnErrorModeAndFourteenWithout) {
  MemoryFileSystem files;
  files.files[kSettingsFileName] = std::string(5000, 'z');  // an older, longer file is replaced whole
  FakeMainDialog dialog;
  dialog.MoveTo({-3, 70});
  dialog.SetBodyCheck(7);
  dialog.SetText(kDnsServerControl, "127.0.0.1");
  dialog.SelectErrorMode(kWriteToFileButton);
  dialog.SetText(kInputListBox, " list.lst ");
  dialog.SetText(kFromBox, "me=you@example.com");
  SaveSettings(dialog, files);
  EXPECT_EQ(files.files[kSettingsFileName], kFifteenLines);

  FakeMainDialog untouched;  // the empty-file case: no mode selected
  SaveSettings(untouched, files);
  EXPECT_EQ(files.files[kSettingsFileName], kFourteenLines);

  dialog.SetText(kProxySetting, "socks5://u:p@h:1");  // only then two more lines
  SaveSettings(dialog, files);
  EXPECT_EQ(files.files[kSettingsFileName], kFifteenLines + "; SOCKS5 proxy for the SMTP connections "
                                                            "(socks5://[user:password@]host:port)\r\nPROXY=socks5://u:p@h:1\r\n");
}

TEST(SaveSettings, SaveLoadSaveGivesTheSameFileAndTheSameControls) {
  const std::vector<std::string> starts = {
      kFifteenLines, kFourteenLines, "", "ERROR=1\r\nBODY=0\r\nLOCATION=:5\r\nFROM=\r\n",
      "FILE=a\rb\r\nERROR=2\r\n", "PROXY=socks5://h:1\r\n" + kFourteenLines};
  for (const auto& start : starts) {
    MemoryFileSystem files;
    files.files[kSettingsFileName] = start;
    FakeMainDialog first;
    LoadSettings(first, files);
    SaveSettings(first, files);
    std::string saved = files.files[kSettingsFileName];

    FakeMainDialog second;
    LoadSettings(second, files);
    EXPECT_EQ(Read(second), Read(first)) << start;
    SaveSettings(second, files);
    EXPECT_EQ(files.files[kSettingsFileName], saved) << start;
  }
}

TEST(SaveSettings, FailuresAreSilentAndLeaveWhatTheAttemptLeft) {
  MemoryFileSystem files;
  files.files[kSettingsFileName] = "old";
  files.locked.insert(kSettingsFileName);
  FakeMainDialog dialog;
  SaveSettings(dialog, files);
  EXPECT_EQ(files.files[kSettingsFileName], "old");

  files.locked.clear();
  files.failing_write.insert(kSettingsFileName);
  SaveSettings(dialog, files);
  const std::string& left = files.files[kSettingsFileName];
  EXPECT_EQ(left, kFourteenLines.substr(0, left.size()));
  EXPECT_LT(left.size(), kFourteenLines.size());
}

// A settings file that could not be read at start-up gave the dialog the
// defaults; writing those back at exit would destroy the user's settings.
TEST(ExitSequence, SavesOnlyWhatStartUpCouldRead) {
  struct Case {
    const char* name;
    void (*at_start)(MemoryFileSystem&);
    SettingsLoad load;
    bool saved;
  };
  const std::vector<Case> cases = {
      {"read whole", [](MemoryFileSystem&) {}, SettingsLoad::kRead, true},
      {"missing", [](MemoryFileSystem& fs) { fs.files.erase(kSettingsFileName); }, SettingsLoad::kMissing, true},
      {"held by another program", [](MemoryFileSystem& fs) { fs.locked.insert(kSettingsFileName); },
       SettingsLoad::kUnreadable, false},
      {"read error part-way", [](MemoryFileSystem& fs) { fs.read_error_at[kSettingsFileName] = 14; },
       SettingsLoad::kUnreadable, false},
  };
  Waits saved_waits = Shared().waits;
  Shared().waits.exit_wait_ms = 0;
  for (const Case& c : cases) {
    const std::string user = "DNS=10.0.0.9\r\nERROR=1\r\nFROM=me\r\n";
    MemoryFileSystem files;
    files.files[kSettingsFileName] = user;
    c.at_start(files);
    FakeMainDialog dialog;
    EXPECT_EQ(LoadSettingsAtStart(dialog, files), c.load) << c.name;
    // Released by the other program before the window closes.
    files.locked.clear();
    files.read_error_at.clear();
    if (c.load == SettingsLoad::kMissing) files.files.erase(kSettingsFileName);
    RunExitSequence(dialog, files);
    if (c.saved) {
      EXPECT_EQ(files.files[kSettingsFileName], SettingsFileText(dialog)) << c.name;
    } else {
      EXPECT_EQ(files.files[kSettingsFileName], user) << c.name;
    }
  }
  Shared().waits = saved_waits;
}

}  // namespace
}  // namespace vantrel
