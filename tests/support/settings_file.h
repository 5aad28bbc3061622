// The settings file exactly as the program writes it, for the suites that
// compare what was saved: fifteen CR LF lines, or fourteen when no error
// mode is selected (error 0 leaves out the ERROR line). Standard library
// only, so that the Windows test driver shares it too.
#pragma once

#include <string>

namespace vantrel::testing {

inline std::string SettingsFile(const std::string& location, int body, const std::string& dns, int error,
                                const std::string& file, const std::string& from) {
  std::string text =
      "; VANTREL 1.2 SETTINGS FILE\r\n"
      "; AUTOMATICALLY GENERATED -- DO NOT MODIFY DIRECTLY\r\n"
      "LOCATION=" + location + "\r\n"
      "; Flag to show sending the message body or just to test the SMTP level connection\r\n"
      "; 0=Send body, 1=Do not send (default)\r\n"
      "BODY=" + std::to_string(body) + "\r\n"
      "; This is the local DNS server to use for resolving the domain names\r\n"
      "DNS=" + dns + "\r\n"
      "; This is the flag to show how to handle addresses with errors\r\n"
      "; 1=Remove, 2=Suspend address, 3=Write to special file\r\n";
  if (error != 0) text += "ERROR=" + std::to_string(error) + "\r\n";
  text +=
      "; This is the name of the input membership list file of addresses\r\n"
      "FILE=" + file + "\r\n"
      "; This is the email address to use as the FROM address (should be local to you)\r\n"
      "FROM=" + from + "\r\n";
  return text;
}

}  // namespace vantrel::testing
