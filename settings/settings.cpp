#include "settings/settings.h"

#include <string>
#include <string_view>

#include "text/number_text.h"
#include "text/text_lines.h"

namespace vantrel {

namespace {

constexpr char kDefaultDnsServer[] = "192.168.1.1";

// A first start, or a file we cannot read: the values a new user should see.
// Suspend rather than no mode at all, so that a first run never deletes an
// address and never quietly falls back to the side file.
void ApplyDefaults(MainDialog& dialog) {
  dialog.SetText(kDnsServerControl, kDefaultDnsServer);
  dialog.SetBodyCheck(1);
  dialog.SelectErrorMode(kSuspendButton);
}

void ApplyLine(MainDialog& dialog, const std::string& line) {
  // Only the first three characters name the key, case-sensitively: LOCK and
  // FILTER count as LOCATION and FILE, "loc" counts as nothing.
  std::string_view prefix = std::string_view(line).substr(0, 3);
  std::size_t equals = line.find('=');
  std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);

  if (prefix == "LOC") {
    std::size_t colon = value.find(':');
    if (colon == std::string::npos) return;
    DialogPoint corner;
    corner.x = text::ReadLeadingInteger(value);
    corner.y = text::ReadLeadingInteger(std::string_view(value).substr(colon + 1));
    dialog.MoveTo(corner);
  } else if (prefix == "FRO") {
    dialog.SetText(kFromBox, value);
  } else if (prefix == "DNS") {
    dialog.SetText(kDnsServerControl, value);
  } else if (prefix == "FIL") {
    dialog.SetText(kInputListBox, value);
  } else if (prefix == "BOD") {
    dialog.SetBodyCheck(text::ReadLeadingInteger(value));
  } else if (prefix == "PRO") {
    dialog.SetText(kProxySetting, value);
  } else if (prefix == "ERR") {
    switch (text::ReadLeadingInteger(value)) {
      case 1:
        dialog.SelectErrorMode(kRemoveButton);
        break;
      case 2:
        dialog.SelectErrorMode(kSuspendButton);
        break;
      default:
        dialog.SelectErrorMode(kWriteToFileButton);
        break;
    }
  }
}

}  // namespace

SettingsLoad LoadSettings(MainDialog& dialog, platform::FileSystem& files) {
  if (!files.IsPlainFile(kSettingsFileName)) {
    ApplyDefaults(dialog);
    return SettingsLoad::kMissing;
  }
  std::unique_ptr<platform::ReadableFile> file = files.OpenRead(kSettingsFileName);
  if (!file) {
    // Held by another program or unreadable: its values are out of reach, so
    // start as on a first run rather than with no error mode selected.
    ApplyDefaults(dialog);
    return SettingsLoad::kUnreadable;
  }
  text::TextLineReader reader(*file);
  std::string line;
  while (reader.ReadLine(&line)) ApplyLine(dialog, line);
  return reader.End() == text::TextEnd::kReadError ? SettingsLoad::kUnreadable : SettingsLoad::kRead;
}

std::string SettingsFileText(MainDialog& dialog) {
  const std::string end = text::kLineEnd;
  DialogPoint corner = dialog.GetPosition();
  std::string text;
  text += "; VANTREL 1.2 SETTINGS FILE" + end;
  text += "; AUTOMATICALLY GENERATED -- DO NOT MODIFY DIRECTLY" + end;
  text += "LOCATION=" + std::to_string(corner.x) + ":" + std::to_string(corner.y) + end;
  text += "; Flag to show sending the message body or just to test the SMTP level connection" + end;
  text += "; 0=Send body, 1=Do not send (default)" + end;
  text += "BODY=" + std::string(dialog.GetBodyCheck() != 0 ? "1" : "0") + end;
  text += "; This is the local DNS server to use for resolving the domain names" + end;
  text += "DNS=" + dialog.GetText(kDnsServerControl) + end;
  text += "; This is the flag to show how to handle addresses with errors" + end;
  text += "; 1=Remove, 2=Suspend address, 3=Write to special file" + end;
  if (dialog.IsErrorModeSelected(kRemoveButton)) text += "ERROR=1" + end;
  if (dialog.IsErrorModeSelected(kSuspendButton)) text += "ERROR=2" + end;
  if (dialog.IsErrorModeSelected(kWriteToFileButton)) text += "ERROR=3" + end;
  text += "; This is the name of the input membership list file of addresses" + end;
  text += "FILE=" + dialog.GetText(kInputListBox) + end;
  text += "; This is the email address to use as the FROM address (should be local to you)" + end;
  text += "FROM=" + dialog.GetText(kFromBox) + end;
  // Only a file that named a proxy gets these two lines, so every other file
  // stays as it always was.
  const std::string proxy = dialog.GetText(kProxySetting);
  if (!proxy.empty()) {
    text += "; SOCKS5 proxy for the SMTP connections (socks5://[user:password@]host:port)" + end;
    text += "PROXY=" + proxy + end;
  }
  return text;
}

void SaveSettings(MainDialog& dialog, platform::FileSystem& files) {
  // Compose first, so the file is open only for the one write.
  std::string text = SettingsFileText(dialog);
  std::unique_ptr<platform::WritableFile> file = files.OpenTruncate(kSettingsFileName);
  if (!file) return;  // read-only, locked or no folder access: the exit goes on
  file->Write(text);
}

}  // namespace vantrel
