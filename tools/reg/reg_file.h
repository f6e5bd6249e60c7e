// reg_file.h: the REGEDIT4 text format of registry exports.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Corvane\TREVAN\CurrentVersion]
//   "RefCount"=dword:00000004
//   "Pathname"="%SystemRoot%\\System32\\mifsnmp.dll"
//   @="the key's default value"
//   "Route"=hex(7):22,54,52,45,56,41,4e,31,22,00,00
//   "Gone"=-
//   [-HKEY_LOCAL_MACHINE\SOFTWARE\Old]
//
// Texts between quotes escape '\' and '"' with a backslash and stand for REG_SZ with its
// terminating zero byte. dword: is a 4-byte REG_DWORD. hex: is REG_BINARY; hex(T): any type T
// (hexadecimal), bytes as two-digit hex separated by commas; a line ending in '\' continues on
// the next. Lines starting with ';' are comments. Anything that the short forms cannot say
// exactly (a REG_SZ without its terminator, a DWORD of 3 bytes) is written as hex(T):, so an
// export read back reproduces every value byte for byte.
#ifndef PAIRWAY_TOOLS_REG_FILE_H
#define PAIRWAY_TOOLS_REG_FILE_H

#include <windows.h>

#include <string>
#include <vector>

namespace pairway::reg {

struct RegOperation {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } kind;
  std::string key;   // full name, "HKEY_LOCAL_MACHINE\..."
  std::string name;  // value name ("" for the default value)
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// Parses a whole file. On a syntax error returns false with the line number and what is wrong,
// and `operations` unspecified.
bool ParseRegFile(const std::string& text, std::vector<RegOperation>* operations, int* error_line,
                  std::string* error);

// One key's section: its header and its values, in the order given.
struct ExportedValue {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};
std::string FormatKeySection(const std::string& key, const std::vector<ExportedValue>& values);

// The file's first line.
extern const char kRegFileHeader[];

}  // namespace pairway::reg

#endif  // PAIRWAY_TOOLS_REG_FILE_H
