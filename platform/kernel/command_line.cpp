// Command lines split and joined by the rules of the platform's C runtime (see command_line.h).
#include "kernel/command_line.h"

namespace pairway {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Rule 1: the program name.
size_t SplitProgram(std::string_view line, std::vector<std::string>* args) {
  size_t i = 0;
  std::string program;
  if (i < line.size() && line[i] == '"') {
    size_t close = line.find('"', i + 1);
    program =
        std::string(line.substr(i + 1, close == std::string_view::npos ? close : close - i - 1));
    i = close == std::string_view::npos ? line.size() : close + 1;
  }
  while (i < line.size() && !IsBlank(line[i])) program += line[i++];
  args->push_back(program);
  return i;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  if (line.empty()) return args;
  size_t i = SplitProgram(line, &args);
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        size_t count = 0;
        for (; i < line.size() && line[i] == '\\'; ++i) ++count;
        bool before_quote = i < line.size() && line[i] == '"';
        arg.append(before_quote ? count / 2 : count, '\\');  // rules 3 and 4
        if (before_quote && count % 2 == 1) {
          arg += '"';
          ++i;
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';  // rule 5
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (size_t n = 0; n < args.size(); ++n) {
    const std::string& arg = args[n];
    if (n > 0) line += ' ';
    bool needs_quotes = arg.empty() || arg.find_first_of(" \t\"") != std::string::npos;
    if (!needs_quotes) {
      line += arg;
      continue;
    }
    if (n == 0) {  // rule 1: the program is quoted as it is
      line += '"' + arg + '"';
      continue;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : arg) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes before a '"' are doubled, and the '"' escaped.
      line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');  // before the closing quote
    line += '"';
  }
  return line;
}

}  // namespace pairway
