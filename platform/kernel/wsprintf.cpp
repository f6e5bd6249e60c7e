// wvsprintfA and wsprintfA: the user library's small formatter.
//
// Conversions: %s %c %d %i %u %x %X (with 'l' or 'h', both meaning the platform's 32-bit and
// 16-bit sizes), flags '-', '0' and '#', a width and a precision; "%%" is a '%'. Anything else
// after a '%' is copied as written. The output, terminator included, is cut at 1024 bytes.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kMaxOutput = 1024;  // terminator included

struct Directive {
  bool left = false, zero = false, alternate = false, small = false;
  int width = 0;
  int precision = -1;
  char conversion = 0;
};

// Parses the conversion after a '%'; returns the position after it or `pos` when there is none.
size_t ParseDirective(const char* format, size_t pos, Directive* directive) {
  size_t i = pos;
  for (;; ++i) {
    if (format[i] == '-')
      directive->left = true;
    else if (format[i] == '0')
      directive->zero = true;
    else if (format[i] == '#')
      directive->alternate = true;
    else
      break;
  }
  // Widths and precisions beyond the output limit mean the same as the limit; capping while
  // reading keeps a long run of digits from overflowing.
  auto accumulate = [](int value, char digit) {
    int next = value * 10 + (digit - '0');
    return next > static_cast<int>(kMaxOutput) ? static_cast<int>(kMaxOutput) : next;
  };
  while (std::isdigit(static_cast<unsigned char>(format[i])))
    directive->width = accumulate(directive->width, format[i++]);
  if (format[i] == '.') {
    directive->precision = 0;
    while (std::isdigit(static_cast<unsigned char>(format[++i])))
      directive->precision = accumulate(directive->precision, format[i]);
  }
  if (format[i] == 'l')
    ++i;
  else if (format[i] == 'h')
    directive->small = true, ++i;
  if (std::strchr("scdiuxX", format[i]) == nullptr || format[i] == '\0') return pos;
  directive->conversion = format[i];
  return i + 1;
}

std::string Convert(const Directive& directive, va_list* args) {
  std::string body;
  std::string prefix;
  if (directive.conversion == 's') {
    const char* text = va_arg(*args, const char*);
    if (text == nullptr) text = "(null)";
    body = directive.precision >= 0 ? std::string(text, strnlen(text, directive.precision)) : text;
  } else if (directive.conversion == 'c') {
    body = std::string(1, static_cast<char>(va_arg(*args, int)));
  } else {
    unsigned value = va_arg(*args, unsigned);
    if (directive.small) value &= 0xFFFF;
    char digits[16];
    if (directive.conversion == 'd' || directive.conversion == 'i') {
      long long signed_value =
          directive.small ? static_cast<short>(value) : static_cast<int>(value);
      if (signed_value < 0) prefix = "-";
      snprintf(digits, sizeof digits, "%llu",
               static_cast<unsigned long long>(signed_value < 0 ? -signed_value : signed_value));
    } else {
      snprintf(digits, sizeof digits,
               directive.conversion == 'u' ? "%u" : (directive.conversion == 'x' ? "%x" : "%X"),
               value);
      if (directive.alternate && directive.conversion != 'u' && value != 0)
        prefix = directive.conversion == 'x' ? "0x" : "0X";
    }
    body = digits;
    if (directive.precision >= 0 && static_cast<int>(body.size()) < directive.precision)
      body.insert(0, directive.precision - body.size(), '0');
  }
  int pad = directive.width - static_cast<int>(prefix.size() + body.size());
  if (pad <= 0) return prefix + body;
  if (directive.left) return prefix + body + std::string(pad, ' ');
  if (directive.zero && directive.conversion != 's' && directive.conversion != 'c')
    return prefix + std::string(pad, '0') + body;
  return std::string(pad, ' ') + prefix + body;
}

}  // namespace

int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFormat, va_list arglist) {
  if (lpOutput == nullptr || lpFormat == nullptr) return 0;
  va_list args;
  va_copy(args, arglist);
  std::string out;
  for (size_t i = 0; lpFormat[i] != '\0' && out.size() < kMaxOutput - 1; ++i) {
    if (lpFormat[i] != '%') {
      out += lpFormat[i];
      continue;
    }
    if (lpFormat[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Directive directive;
    size_t end = ParseDirective(lpFormat, i + 1, &directive);
    if (end == i + 1) {
      out += '%';  // not a conversion: copied as written
      continue;
    }
    out += Convert(directive, &args);
    i = end - 1;
  }
  va_end(args);
  if (out.size() > kMaxOutput - 1) out.resize(kMaxOutput - 1);
  std::memcpy(lpOutput, out.c_str(), out.size() + 1);
  return static_cast<int>(out.size());
}

int __cdecl wsprintfA(LPSTR lpOutput, LPCSTR lpFormat, ...) {
  va_list args;
  va_start(args, lpFormat);
  int length = wvsprintfA(lpOutput, lpFormat, args);
  va_end(args);
  return length;
}
