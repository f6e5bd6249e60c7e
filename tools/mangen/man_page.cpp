#include "man_page.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace mangen {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Blank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

bool IsUsageHead(const std::string& line) {
  return StartsWith(line, "Usage:") || StartsWith(line, "usage:");
}

// A line that goes on with the usage line above it: indented, and starting with an option
// bracket, an alternative bar or the program's name.
bool ContinuesUsage(const std::string& line, const std::string& program) {
  if (line.empty() || line[0] != ' ') return false;
  std::string rest = Trimmed(line);
  return StartsWith(rest, "[") || StartsWith(rest, "|") || StartsWith(rest, program + " ");
}

// Roff for text in the running prose of a list item: backslashes and hyphens escaped.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// The lines under "HEADING:" up to the next blank line; empty when there is no such heading.
std::string Section(const std::string& help, const std::string& heading) {
  std::vector<std::string> lines = Lines(help);
  std::string section;
  auto head = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& line) { return Trimmed(line) == heading + ":"; });
  for (auto it = head == lines.end() ? head : head + 1; it != lines.end() && !Blank(*it); ++it) {
    section += *it + "\n";
  }
  return section;
}

std::string ExitList(const std::vector<std::pair<std::string, std::string>>& codes) {
  std::string roff;
  for (const auto& [code, meaning] : codes)
    roff += ".TP\n.B " + code + "\n" + Escaped(meaning) + "\n";
  return roff;
}

// A marker line: "@NAME@" or "@NAME ARGUMENT@"; false for any other line.
bool ParseMarker(const std::string& line, std::string* name, std::string* argument) {
  static const std::regex marker("^@([A-Z]+)(?: ([^@ ]+))?@$");
  std::smatch match;
  if (!std::regex_match(line, match, marker)) return false;
  *name = match[1];
  *argument = match[2];
  return true;
}

class Expander {
 public:
  Expander(const std::string& program, const HelpSource& help, std::string* error)
      : program_(program), help_(help), error_(error) {}

  // The help of `verb` ("" for the program's own), run once.
  bool Help(const std::string& verb, const std::string** text) {
    auto found = helps_.find(verb);
    if (found == helps_.end()) {
      std::string out;
      if (!help_(verb, &out)) {
        return Fail("`" + program_ + (verb.empty() ? "" : " " + verb) + " --help` failed");
      }
      found = helps_.emplace(verb, out).first;
    }
    *text = &found->second;
    return true;
  }

  bool Marker(const std::string& name, const std::string& argument, std::string* roff) {
    const std::string* text = nullptr;
    if (name == "VERB") {
      if (argument.empty()) return Fail("@VERB@ needs the verb's name");
      described_verbs_.push_back(argument);
      if (!Help(argument, &text)) return false;
      *roff = Verbatim(*text);
      return true;
    }
    if (name == "SECTION") {
      if (argument.empty()) return Fail("@SECTION@ needs the heading");
      if (!Help("", &text)) return false;
      std::string section = Section(*text, argument);
      if (section.empty()) return Fail(program_ + " --help has no section " + argument + ":");
      *roff = Verbatim(section);
      return true;
    }
    if (!argument.empty()) return Fail("@" + name + "@ takes no argument");
    if (!Help("", &text)) return false;
    if (name == "HELP") {
      *roff = Verbatim(*text);
    } else if (name == "USAGE") {
      std::vector<std::string> usage = UsageLines(*text, program_);
      if (usage.empty()) return Fail(program_ + " --help has no usage lines for @USAGE@");
      std::string joined;
      for (const std::string& line : usage) joined += line + "\n";
      *roff = Verbatim(joined);
    } else if (name == "EXIT") {
      auto codes = ExitCodes(*text);
      if (codes.empty()) return Fail(program_ + " --help lists no exit codes for @EXIT@");
      *roff = ExitList(codes);
    } else {
      return Fail("unknown marker @" + name + "@");
    }
    return true;
  }

  // Every verb --help lists has its @VERB@, and no other verb has one.
  bool CheckVerbs() {
    if (described_verbs_.empty()) return true;
    const std::string* main = nullptr;
    if (!Help("", &main)) return false;
    std::vector<std::string> listed = ListedVerbs(*main);
    for (const std::string& verb : listed) {
      if (std::find(described_verbs_.begin(), described_verbs_.end(), verb) ==
          described_verbs_.end()) {
        return Fail(program_ + " --help lists the verb " + verb +
                    ", which the page does not describe (add @VERB " + verb + "@)");
      }
    }
    for (const std::string& verb : described_verbs_) {
      if (std::find(listed.begin(), listed.end(), verb) == listed.end()) {
        return Fail("the page describes the verb " + verb + ", which " + program_ +
                    " --help does not list");
      }
    }
    return true;
  }

  // Every option the page's own words name is in some help text of the program.
  bool CheckOptions(const std::vector<std::string>& own_lines) {
    // An option is named in bold: \fB\-\-name or a .B, .BI or .BR line that starts with it
    // (a command line of another program, in bold as a whole, starts with that program).
    static const std::regex option(
        R"((?:\\fB|^\.B[IR]? +)(?:\\-|-)(?:\\-|-)([A-Za-z0-9]+(?:(?:\\-|-)[A-Za-z0-9]+)*))");
    const std::string* main = nullptr;
    for (const std::string& line : own_lines) {
      for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it) {
        std::string name = "--" + std::regex_replace((*it)[1].str(), std::regex(R"(\\-)"), "-");
        if (main == nullptr && !Help("", &main)) return false;
        bool known = HasOption(*main, name);
        for (const auto& [verb, text] : helps_) known = known || HasOption(text, name);
        if (!known) {
          return Fail("the page names " + name + ", which no --help of " + program_ + " has");
        }
      }
    }
    return true;
  }

 private:
  static bool HasOption(const std::string& text, const std::string& name) {
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
      size_t after = at + name.size();
      bool whole = after == text.size() ||
                   !(std::isalnum(static_cast<unsigned char>(text[after])) || text[after] == '-');
      if (whole) return true;
    }
    return false;
  }

  bool Fail(const std::string& why) {
    *error_ = why;
    return false;
  }

  const std::string& program_;
  const HelpSource& help_;
  std::string* error_;
  std::map<std::string, std::string> helps_;
  std::vector<std::string> described_verbs_;
};

}  // namespace

std::vector<std::string> ListedVerbs(const std::string& help) {
  std::vector<std::string> verbs;
  std::vector<std::string> lines = Lines(help);
  auto head = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    std::string text = Trimmed(line);
    return text == "Verbs:" ||
           (text.size() >= 9 && text.compare(text.size() - 9, 9, "Commands:") == 0);
  });
  if (head == lines.end()) return verbs;
  for (auto it = head + 1; it != lines.end(); ++it) {
    if (Blank(*it)) {
      if (verbs.empty()) continue;  // the blank line between the head and the list
      break;
    }
    // An item starts two spaces in; deeper lines continue the one above.
    if (it->size() > 2 && StartsWith(*it, "  ") &&
        std::isalpha(static_cast<unsigned char>((*it)[2]))) {
      std::string rest = it->substr(2);
      verbs.push_back(rest.substr(0, rest.find(' ')));
    }
  }
  return verbs;
}

std::vector<std::string> UsageLines(const std::string& help, const std::string& program) {
  std::vector<std::string> usage;
  std::vector<std::string> lines = Lines(help);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (IsUsageHead(line)) {
      // "Usage: " goes; the continuation lines keep their alignment under the command.
      const size_t cut = line.find_first_not_of(' ', 6);
      usage.push_back(line.substr(cut == std::string::npos ? line.size() : cut));
      for (; i + 1 < lines.size() && ContinuesUsage(lines[i + 1], program); ++i) {
        const std::string& next = lines[i + 1];
        usage.push_back(next.substr(std::min(cut, next.find_first_not_of(' '))));
      }
    } else if (StartsWith(line, program + " ")) {
      usage.push_back(line);
    }
  }
  return usage;
}

std::vector<std::pair<std::string, std::string>> ExitCodes(const std::string& help) {
  std::vector<std::pair<std::string, std::string>> codes;
  std::vector<std::string> lines = Lines(help);
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!StartsWith(line, "Exit status:") && !StartsWith(line, "Exit codes:")) continue;
    text = line.substr(line.find(':') + 1);
    for (++i; i < lines.size() && !Blank(lines[i]); ++i) text += " " + Trimmed(lines[i]);
    break;
  }
  // "0 done, 1 usage, 2 no machine root." : items start at a number after a comma.
  static const std::regex item(R"((\d+) ((?:[^,]|,(?! *\d+ ))*))");
  for (std::sregex_iterator it(text.begin(), text.end(), item), end; it != end; ++it) {
    std::string meaning = Trimmed((*it)[2]);
    if (!meaning.empty() && (meaning.back() == '.' || meaning.back() == ',')) meaning.pop_back();
    codes.emplace_back((*it)[1], meaning);
  }
  return codes;
}

std::string Verbatim(const std::string& text) {
  std::string roff = ".PP\n.RS 4\n.nf\n";
  for (const std::string& line : Lines(text)) roff += Escaped(line) + "\n";
  return roff + ".fi\n.RE\n";
}

bool Expand(const std::string& source, const std::string& program, const std::string& version,
            const HelpSource& help, std::string* page, std::string* error) {
  Expander expander(program, help, error);
  std::vector<std::string> own_lines;
  page->clear();
  for (std::string line : Lines(source)) {
    std::string name, argument;
    if (ParseMarker(line, &name, &argument)) {
      std::string roff;
      if (!expander.Marker(name, argument, &roff)) return false;
      *page += roff;
      continue;
    }
    for (size_t at = line.find("@VERSION@"); at != std::string::npos;
         at = line.find("@VERSION@", at)) {
      line.replace(at, 9, version);
    }
    own_lines.push_back(line);
    *page += line + "\n";
  }
  return expander.CheckVerbs() && expander.CheckOptions(own_lines);
}

}  // namespace mangen
