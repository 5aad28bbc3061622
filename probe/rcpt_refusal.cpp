#include "probe/rcpt_refusal.h"

#include <optional>
#include <string_view>

#include "text/ascii_case.h"

namespace vantrel {

namespace {

// The phrases that tell what a refusal is about, in the order their rules
// apply: the first phrase found decides. A multi-line reply often gives its
// reason in one line and only a web address in the last, so every line
// counts. Each phrase is matched as whole words, without regard to case.
struct Phrase {
  const char* words;
  RcptRefusal refusal;
};
constexpr Phrase kPhrases[] = {
    // Postfix names what it refused when it delays a refusal of the client,
    // its HELO name or its sender until RCPT TO.
    {"Client host", RcptRefusal::kRefusedUs},
    {"Helo command rejected", RcptRefusal::kRefusedUs},
    {"Sender address rejected", RcptRefusal::kRefusedUs},
    // The recipient itself. Before the relay words: Postfix's "User unknown
    // in relay recipient table" is about the mailbox.
    {"Recipient address rejected", RcptRefusal::kMailbox},
    {"User unknown", RcptRefusal::kMailbox},
    {"Unknown user", RcptRefusal::kMailbox},
    {"no such user", RcptRefusal::kMailbox},
    {"does not exist", RcptRefusal::kMailbox},
    {"Invalid recipient", RcptRefusal::kMailbox},
    {"Recipient not found", RcptRefusal::kMailbox},
    {"mailbox unavailable", RcptRefusal::kMailbox},
    {"Unrouteable address", RcptRefusal::kMailbox},
    // The host does not take mail for this domain at all.
    {"relay", RcptRefusal::kNoRelay},
    {"relaying", RcptRefusal::kNoRelay},
    // Blocklists, bans, rates and reputation: about this computer.
    {"blocked", RcptRefusal::kRefusedUs},
    {"blocklist", RcptRefusal::kRefusedUs},
    {"block list", RcptRefusal::kRefusedUs},
    {"blacklist", RcptRefusal::kRefusedUs},
    {"blacklisted", RcptRefusal::kRefusedUs},
    {"blocklisted", RcptRefusal::kRefusedUs},
    {"black list", RcptRefusal::kRefusedUs},
    {"DNSBL", RcptRefusal::kRefusedUs},
    {"RBL", RcptRefusal::kRefusedUs},
    {"listed at", RcptRefusal::kRefusedUs},
    {"listed in", RcptRefusal::kRefusedUs},
    {"banned", RcptRefusal::kRefusedUs},
    {"spam", RcptRefusal::kRefusedUs},
    {"rate limit", RcptRefusal::kRefusedUs},
    {"unusual rate", RcptRefusal::kRefusedUs},
    {"reputation", RcptRefusal::kRefusedUs},
    {"dynamic IP", RcptRefusal::kRefusedUs},
    {"not authenticated", RcptRefusal::kRefusedUs},
    {"reverse DNS", RcptRefusal::kRefusedUs},
    {"PTR", RcptRefusal::kRefusedUs},
    {"HELO", RcptRefusal::kRefusedUs},
    {"EHLO", RcptRefusal::kRefusedUs},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordChar(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Runs of ASCII letters and digits, lower-cased; everything else separates.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (IsWordChar(c)) {
      word += text::AsciiLower(c);
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// A word of the text stands for a word of a phrase as it is or with a plural "s".
bool SameWord(const std::string& text_word, const std::string& phrase_word) {
  if (text_word == phrase_word) return true;
  return text_word.size() == phrase_word.size() + 1 && text_word.back() == 's' &&
         text_word.compare(0, phrase_word.size(), phrase_word) == 0;
}

bool HasPhrase(const std::vector<std::string>& text, const std::vector<std::string>& phrase) {
  if (phrase.empty() || text.size() < phrase.size()) return false;
  for (std::size_t start = 0; start + phrase.size() <= text.size(); ++start) {
    std::size_t i = 0;
    while (i < phrase.size() && SameWord(text[start + i], phrase[i])) ++i;
    if (i == phrase.size()) return true;
  }
  return false;
}

bool HasReplyCode(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

// The line's text after its reply code and the "-" or blank that follows it.
std::string_view AfterCode(std::string_view line) {
  if (!HasReplyCode(line)) return line;
  line.remove_prefix(3);
  if (!line.empty() && (line[0] == ' ' || line[0] == '-')) line.remove_prefix(1);
  return line;
}

struct EnhancedCode {
  int status_class = 0;
  int subject = 0;
  int detail = 0;
};

// Reads "n" of one to three digits; false when there is none.
bool ReadDigits(std::string_view* text, int* value) {
  std::size_t n = 0;
  *value = 0;
  while (n < text->size() && n < 3 && IsDigit((*text)[n])) *value = *value * 10 + ((*text)[n++] - '0');
  text->remove_prefix(n);
  return n > 0;
}

// An RFC 3463 code "class.subject.detail" that makes up the whole of word.
std::optional<EnhancedCode> ReadEnhancedCode(std::string_view word) {
  EnhancedCode code;
  if (word.empty() || !IsDigit(word[0])) return std::nullopt;
  code.status_class = word[0] - '0';
  word.remove_prefix(1);
  if (word.empty() || word[0] != '.') return std::nullopt;
  word.remove_prefix(1);
  if (!ReadDigits(&word, &code.subject) || word.empty() || word[0] != '.') return std::nullopt;
  word.remove_prefix(1);
  if (!ReadDigits(&word, &code.detail) || !word.empty()) return std::nullopt;
  return code;
}

// The first word after the reply code of the first line that has one, or
// qmail's "(#5.7.1)" at the very end of the reply.
std::optional<EnhancedCode> FindEnhancedCode(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (!HasReplyCode(line)) continue;
    std::string_view text = AfterCode(line);
    std::string_view word = text.substr(0, text.find(' '));
    if (std::optional<EnhancedCode> code = ReadEnhancedCode(word)) return code;
  }
  if (lines.empty()) return std::nullopt;
  std::string_view last = lines.back();
  while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) last.remove_suffix(1);
  std::size_t open = last.rfind("(#");
  if (open == std::string_view::npos || last.empty() || last.back() != ')') return std::nullopt;
  return ReadEnhancedCode(last.substr(open + 2, last.size() - open - 3));
}

}  // namespace

RcptRefusal ReadRcptRefusal(const std::vector<std::string>& lines) {
  std::vector<std::string> words;
  for (const std::string& line : lines) {
    std::vector<std::string> more = Words(line);
    words.insert(words.end(), more.begin(), more.end());
  }
  for (const Phrase& phrase : kPhrases) {
    if (HasPhrase(words, Words(phrase.words))) return phrase.refusal;
  }
  std::optional<EnhancedCode> code = FindEnhancedCode(lines);
  if (!code || code->status_class != 5) return RcptRefusal::kMailbox;
  if (code->subject == 2 && code->detail == 2) return RcptRefusal::kMailboxFull;
  switch (code->subject) {
    case 1:
    case 2:
      return RcptRefusal::kMailbox;
    case 3:
    case 4:
    case 5:
    case 7:
      return RcptRefusal::kRefusedUs;
    default:
      return RcptRefusal::kMailbox;
  }
}

std::string ReplyText(const std::vector<std::string>& lines) {
  constexpr std::size_t kMaxReplyText = 200;
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += ' ';
    text += AfterCode(line);
    if (text.size() >= kMaxReplyText) break;
  }
  if (text.size() > kMaxReplyText) text.resize(kMaxReplyText);
  for (char& c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  return text;
}

}  // namespace vantrel
