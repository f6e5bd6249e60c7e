// Reading and writing REGEDIT4 files; see reg_file.h.
#include "reg_file.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace pairway::reg {

const char kRegFileHeader[] = "REGEDIT4";

namespace {

// Splits into logical lines (continuations joined), remembering where each starts.
struct Line {
  int number;
  std::string text;
};

std::vector<Line> LogicalLines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  bool continuing = false;
  while (std::getline(in, raw)) {
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (continuing) {
      size_t start = raw.find_first_not_of(" \t");
      lines.back().text += start == std::string::npos ? "" : raw.substr(start);
    } else {
      lines.push_back({number, raw});
    }
    std::string& current = lines.back().text;
    continuing = !current.empty() && current.back() == '\\' &&
                 current.find('=') != std::string::npos && current.find("=\"") == std::string::npos;
    if (continuing) current.pop_back();
  }
  return lines;
}

bool ParseQuoted(const std::string& text, size_t* pos, std::string* out) {
  if (*pos >= text.size() || text[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\') {
      if (i + 1 >= text.size()) return false;
      out->push_back(text[++i]);
    } else if (c == '"') {
      *pos = i + 1;
      return true;
    } else {
      out->push_back(c);
    }
  }
  return false;
}

// Reads 1 to max_digits hexadecimal digits and nothing else (no sign, blank or 0x, which
// strtoul would accept and turn "-1" into a very different number).
bool ParseHexNumber(const std::string& digits, size_t max_digits, unsigned long long* number) {
  if (digits.empty() || digits.size() > max_digits) return false;
  *number = 0;
  for (char c : digits) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return false;
    *number = *number * 16 + static_cast<unsigned>(digit);
  }
  return true;
}

bool ParseHexBytes(const std::string& text, std::vector<BYTE>* data) {
  data->clear();
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    size_t end = text.find(',', i);
    std::string item = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.pop_back();
    unsigned long long byte = 0;
    if (!ParseHexNumber(item, 2, &byte)) return false;
    data->push_back(static_cast<BYTE>(byte));
    if (end == std::string::npos) break;
    i = end + 1;
    if (i >= text.size()) return false;  // a trailing comma
  }
  return true;
}

// The value part after '=': a text, dword:, hex:, hex(T):, or '-'.
bool ParseData(const std::string& text, RegOperation* op, std::string* error) {
  if (text == "-") {
    op->kind = RegOperation::kDeleteValue;
    return true;
  }
  op->kind = RegOperation::kSetValue;
  if (!text.empty() && text[0] == '"') {
    size_t pos = 0;
    std::string value;
    if (!ParseQuoted(text, &pos, &value) || pos != text.size()) {
      *error = "a text value must be one quoted string";
      return false;
    }
    op->type = REG_SZ;
    op->data.assign(value.begin(), value.end());
    op->data.push_back(0);
    return true;
  }
  if (text.rfind("dword:", 0) == 0) {
    unsigned long long number = 0;
    if (!ParseHexNumber(text.substr(6), 8, &number)) {
      *error = "dword: takes up to eight hexadecimal digits";
      return false;
    }
    op->type = REG_DWORD;
    DWORD value = static_cast<DWORD>(number);
    op->data.assign(reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + 4);
    return true;
  }
  if (text.rfind("hex", 0) == 0) {
    size_t colon = text.find(':');
    std::string kind = text.substr(3, colon == std::string::npos ? 0 : colon - 3);
    op->type = REG_BINARY;
    if (!kind.empty()) {
      if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') {
        *error = "hex type must be written hex(T)";
        return false;
      }
      unsigned long long type = 0;
      bool valid = ParseHexNumber(kind.substr(1, kind.size() - 2), 8, &type);
      op->type = static_cast<DWORD>(type);
      if (!valid) {
        *error = "hex type must be hexadecimal";
        return false;
      }
    }
    if (colon == std::string::npos || !ParseHexBytes(text.substr(colon + 1), &op->data)) {
      *error = "hex data must be two-digit hexadecimal bytes separated by commas";
      return false;
    }
    return true;
  }
  *error = "unknown value data (expected \"text\", dword:, hex:, hex(T): or -)";
  return false;
}

bool ParseValueLine(const std::string& text, const std::string& key, RegOperation* op,
                    std::string* error) {
  size_t pos = 0;
  op->key = key;
  if (text[0] == '@') {
    pos = 1;
    op->name.clear();
  } else if (!ParseQuoted(text, &pos, &op->name)) {
    *error = "a value name must be quoted";
    return false;
  }
  if (pos >= text.size() || text[pos] != '=') {
    *error = "expected '=' after the value name";
    return false;
  }
  return ParseData(text.substr(pos + 1), op, error);
}

void AppendQuoted(std::string* out, const std::string& text) {
  out->push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('"');
}

// A REG_SZ that the quoted form says exactly: printable text with one terminator at the end.
bool IsPlainText(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] < 0x20 || data[i] > 0x7e) return false;
  }
  return true;
}

void AppendHex(std::string* out, const std::string& prefix, const std::vector<BYTE>& data) {
  // Lines of about 80 columns, continued with a backslash as the platform's editor does.
  size_t column = prefix.size();
  *out += prefix;
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    snprintf(byte, sizeof byte, "%02x", data[i]);
    *out += byte;
    column += 2;
    if (i + 1 < data.size()) {
      *out += ',';
      ++column;
      if (column > 76) {
        *out += "\\\n  ";
        column = 2;
      }
    }
  }
}

}  // namespace

bool ParseRegFile(const std::string& text, std::vector<RegOperation>* operations, int* error_line,
                  std::string* error) {
  operations->clear();
  std::vector<Line> lines = LogicalLines(text);
  size_t first = 0;
  while (first < lines.size() && lines[first].text.empty()) ++first;
  if (first == lines.size() || lines[first].text != kRegFileHeader) {
    *error_line = first < lines.size() ? lines[first].number : 1;
    *error = "the file does not start with REGEDIT4";
    return false;
  }
  std::string key;
  for (size_t i = first + 1; i < lines.size(); ++i) {
    const std::string& line = lines[i].text;
    *error_line = lines[i].number;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) {
        *error = "a key line must be [KEY] or [-KEY]";
        return false;
      }
      bool remove = line[1] == '-';
      key = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
      if (key.empty()) {
        *error = "empty key name";
        return false;
      }
      operations->push_back({remove ? RegOperation::kDeleteKey : RegOperation::kCreateKey, key});
      if (remove) key.clear();
      continue;
    }
    if (key.empty()) {
      *error = "a value outside any key";
      return false;
    }
    RegOperation op{RegOperation::kSetValue, key};
    if (!ParseValueLine(line, key, &op, error)) return false;
    operations->push_back(std::move(op));
  }
  return true;
}

std::string FormatKeySection(const std::string& key, const std::vector<ExportedValue>& values) {
  std::string out = "[" + key + "]\n";
  for (const ExportedValue& value : values) {
    std::string line;
    if (value.name.empty()) {
      line = "@";
    } else {
      AppendQuoted(&line, value.name);
    }
    line += '=';
    if (value.type == REG_SZ && IsPlainText(value.data)) {
      AppendQuoted(&line, std::string(value.data.begin(), value.data.end() - 1));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
      DWORD number;
      std::memcpy(&number, value.data.data(), 4);
      char digits[16];
      snprintf(digits, sizeof digits, "dword:%08x", number);
      line += digits;
    } else {
      char prefix[24];
      if (value.type == REG_BINARY) {
        snprintf(prefix, sizeof prefix, "hex:");
      } else {
        snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
      }
      std::string hex;
      AppendHex(&hex, line + prefix, value.data);
      line = hex;
    }
    out += line + "\n";
  }
  return out + "\n";
}

}  // namespace pairway::reg
