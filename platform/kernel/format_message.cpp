// FormatMessageA: system texts and message strings with their inserts and escapes.
//
// A message text holds:
//   %1 .. %99         inserts, each optionally with a printf conversion between '!'s
//                     ("%1!lu!"); the default is !s!
//   %0                ends the output there (no line break after it)
//   %n                a hard line break ("\r\n"); %r a carriage return; %t a tab
//   %% %. %! %<space>  the character itself
// The low byte of the flags (FORMAT_MESSAGE_MAX_WIDTH_MASK) decides line breaks: 0 keeps those of
// the text, 0xFF turns each of them into a space, and a width in between re-flows the text into
// lines of at most that many characters.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "kernel/error_text.h"

namespace {

// Where the arguments of the inserts come from.
class Arguments {
 public:
  Arguments(DWORD flags, va_list* list)
      : array_((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0), list_(list) {}
  bool present() const { return list_ != nullptr; }

  // The next argument (inserts are numbered from 1 and read in order), as its conversion needs.
  template <typename T>
  T Next() {
    if (array_) return (T) reinterpret_cast<DWORD_PTR*>(list_)[index_++];
    ++index_;
    return va_arg(*list_, T);
  }

 private:
  const bool array_;
  va_list* list_;
  size_t index_ = 0;
};

// printf into a string of whatever length the value needs: an insert is often a path or a
// caller's text, and cutting it would silently change the message.
template <typename T>
std::string Printf(const std::string& format, T value) {
  int length = snprintf(nullptr, 0, format.c_str(), value);
  if (length <= 0) return {};
  std::string out(static_cast<size_t>(length), '\0');
  snprintf(out.data(), out.size() + 1, format.c_str(), value);
  return out;
}

// One insert with its printf conversion; nullopt when the conversion is not one the platform has.
std::optional<std::string> FormatInsert(std::string format_text, Arguments* args) {
  bool wide = false;
  std::string plain;
  for (size_t i = 0; i < format_text.size(); ++i) {
    if (format_text.compare(i, 3, "I64") == 0 || format_text.compare(i, 2, "ll") == 0) {
      wide = true;
      i += format_text[i] == 'I' ? 2 : 1;
    } else if (format_text[i] != 'l' && format_text[i] != 'h' && format_text[i] != '*') {
      plain += format_text[i];
    }
  }
  if (plain.empty()) return std::nullopt;
  char conversion = plain.back();
  std::string format = "%" + plain;
  if (conversion == 's') {
    const char* text = args->Next<const char*>();
    return Printf(format, text == nullptr ? "(null)" : text);
  }
  if (conversion == 'p') return Printf(format, args->Next<void*>());
  if (std::strchr("cdiuxXo", conversion) == nullptr) return std::nullopt;
  if (wide) {
    format.insert(format.size() - 1, "ll");
    return Printf(format, args->Next<long long>());
  }
  return Printf(format, args->Next<int>());
}

// The conversion of each insert the text names, so that arguments can be read in order.
std::map<int, std::string> InsertFormats(const std::string& text) {
  std::map<int, std::string> formats;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (text[i + 1] < '1' || text[i + 1] > '9') {
      ++i;  // an escape: its second character is not a '%' to look at
      continue;
    }
    int index = text[i + 1] - '0';
    size_t end = i + 2;
    if (end < text.size() && text[end] >= '0' && text[end] <= '9')
      index = index * 10 + (text[end++] - '0');
    std::string format_text = "s";
    if (end < text.size() && text[end] == '!') {
      size_t close = text.find('!', end + 1);
      if (close != std::string::npos) format_text = text.substr(end + 1, close - end - 1);
    }
    formats.emplace(index, format_text);
  }
  return formats;
}

// Expands inserts and escapes. Without arguments, inserts are copied as written. False when an
// insert has a conversion the platform does not know.
bool Expand(const std::string& text, DWORD flags, va_list* list, std::string* out) {
  bool ignore_inserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  std::map<int, std::string> values;
  Arguments args(flags, list);
  if (!ignore_inserts && args.present()) {
    std::map<int, std::string> formats = InsertFormats(text);
    int last = formats.empty() ? 0 : formats.rbegin()->first;
    for (int i = 1; i <= last; ++i) {
      auto it = formats.find(i);
      if (it == formats.end()) {
        args.Next<DWORD_PTR>();  // an argument no insert uses still takes its place
        continue;
      }
      std::optional<std::string> value = FormatInsert(it->second, &args);
      if (!value) return false;
      values[i] = std::move(*value);
    }
  }
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%' || i + 1 == text.size()) {
      *out += c;
      continue;
    }
    char next = text[++i];
    if (next >= '1' && next <= '9') {
      size_t start = i - 1;
      int index = next - '0';
      if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
        index = index * 10 + (text[++i] - '0');
      if (i + 1 < text.size() && text[i + 1] == '!') {
        size_t close = text.find('!', i + 2);
        if (close != std::string::npos) i = close;
      }
      auto value = values.find(index);
      *out += value != values.end() ? value->second : text.substr(start, i + 1 - start);
    } else if (next == '0') {
      return true;
    } else if (next == 'n') {
      *out += "\r\n";
    } else if (next == 'r') {
      *out += '\r';
    } else if (next == 't') {
      *out += '\t';
    } else {
      *out += next;  // %% %. %! and the like: the character itself
    }
  }
  return true;
}

// Applies the width of the low byte of the flags to the line breaks written in the text itself
// (before escapes are expanded, so that %n stays a hard break).
std::string ApplyWidth(const std::string& text, DWORD width) {
  if (width == 0) return text;
  std::string joined;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    joined += text[i] == '\n' ? ' ' : text[i];
  }
  if (width == FORMAT_MESSAGE_MAX_WIDTH_MASK) return joined;
  std::string wrapped;
  size_t line_start = 0;
  while (joined.size() - line_start > width) {
    size_t cut = joined.rfind(' ', line_start + width);
    if (cut == std::string::npos || cut < line_start) cut = line_start + width;
    wrapped += joined.substr(line_start, cut - line_start) + "%n";
    line_start = cut < joined.size() && joined[cut] == ' ' ? cut + 1 : cut;
  }
  return wrapped + joined.substr(line_start);
}

DWORD Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
  std::string text;
  if ((dwFlags & FORMAT_MESSAGE_FROM_STRING) != 0) {
    if (lpSource == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    text = static_cast<const char*>(lpSource);
  } else if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
    // Modules carry no message tables here, so FROM_HMODULE falls through to the system's texts.
    const char* system = pairway::SystemErrorText(dwMessageId);
    if (system == nullptr) return Fail(ERROR_MR_MID_NOT_FOUND);
    text = system;
  } else if ((dwFlags & FORMAT_MESSAGE_FROM_HMODULE) != 0) {
    return Fail(ERROR_MR_MID_NOT_FOUND);
  } else {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (lpBuffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);

  std::string result;
  if (!Expand(ApplyWidth(text, dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK), dwFlags, Arguments,
              &result)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  DWORD length = static_cast<DWORD>(result.size());
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    auto* block =
        static_cast<LPSTR>(LocalAlloc(LMEM_FIXED, length + 1 > nSize ? length + 1 : nSize));
    if (block == nullptr) return 0;
    std::memcpy(block, result.c_str(), length + 1);
    *reinterpret_cast<LPSTR*>(lpBuffer) = block;
    return length;
  }
  if (nSize < length + 1) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(lpBuffer, result.c_str(), length + 1);
  return length;
}
