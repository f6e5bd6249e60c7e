// monitor_test_util.h: small helpers the monitor's tests use to seed and read the hive and to
// capture the trace. Header-only, for the test programs of monitor/, NFC/ and SNMP/.
#ifndef PORTWARDEN_MONITOR_TEST_UTIL_H
#define PORTWARDEN_MONITOR_TEST_UTIL_H

#include <windows.h>
#include <stdio.h>
#include <unistd.h>

#include <initializer_list>
#include <map>
#include <string>

#include "registry_layout.h"
#include "trace.h"

namespace monitor_test {

inline HKEY CreateKey(const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

inline bool KeyExists(const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

inline void SetBytes(const std::string& path, const char* name, DWORD type,
                     const std::string& bytes) {
  HKEY key = CreateKey(path);
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

inline void SetSz(const std::string& path, const char* name, const std::string& text) {
  SetBytes(path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline void SetDword(const std::string& path, const char* name, DWORD value) {
  SetBytes(path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
}

// The bytes of a value, or "<missing>" when it cannot be read. *type gets the stored type.
inline std::string GetBytes(const std::string& path, const char* name, DWORD* type = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "<missing>";
  }
  DWORD size = 0;
  DWORD stored = 0;
  std::string bytes;
  if (RegQueryValueExA(key, name, nullptr, &stored, nullptr, &size) == ERROR_SUCCESS) {
    bytes.assign(size, '\0');
    RegQueryValueExA(key, name, nullptr, &stored, reinterpret_cast<LPBYTE>(bytes.data()), &size);
    bytes.resize(size);
  } else {
    bytes = "<missing>";
  }
  RegCloseKey(key);
  if (type != nullptr) *type = stored;
  return bytes;
}

inline void DeleteValue(const std::string& path, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, name);
    RegCloseKey(key);
  }
}

// A multi-string's bytes: each entry with its terminator, then the list terminator.
inline std::string Multi(std::initializer_list<std::string> entries) {
  std::string bytes;
  for (const std::string& entry : entries) bytes += entry + '\0';
  return bytes + '\0';
}

inline std::string CardKey(int n) { return NETWORK_CARDS_KEY_SLASH + std::to_string(n); }
inline std::string ParamsKey(int n) {
  return SERVICES_KEY_SLASH "TREVAN" + std::to_string(n) + "\\" PARAMETERS_SUBKEY;
}
inline std::string TcpipKey(int n) { return ParamsKey(n) + "\\" TCPIP_SUBKEY; }

// Card n as the network setup leaves it: card entry with names and bind rules, driver
// parameters with its slot, and the driver's linkage key (lists untouched when present).
inline void AddCard(int n, int slot, const std::string& product = TREVAN_PRODUCT_NAME) {
  std::string service = "TREVAN" + std::to_string(n);
  SetSz(CardKey(n), VAL_PRODUCT_NAME, product);
  SetSz(CardKey(n), VAL_SERVICE_NAME, service);
  SetSz(CardKey(n), VAL_MANUFACTURER, "Corvane");
  SetSz(CardKey(n), VAL_TITLE, "[" + std::to_string(n) + "] Corvane TREVAN Port");
  SetSz(CardKey(n) + "\\" NET_RULES_SUBKEY, VAL_BINDFORM, "\"" + service + "\" yes yes container");
  SetDword(ParamsKey(n), VAL_SLOT_NUMBER, static_cast<DWORD>(slot));
  SetDword(ParamsKey(n), VAL_BUS_NUMBER, 0);
  RegCloseKey(CreateKey(SERVICES_KEY_SLASH + product + "\\Linkage"));
}

// The three linkage lists of the driver, all set to the given entries of the cards.
inline void SetLinkage(std::initializer_list<int> cards) {
  std::string route, device;
  for (int n : cards) {
    route += "\"TREVAN" + std::to_string(n) + "\"" + '\0';
    device += "\\Device\\TREVAN" + std::to_string(n) + '\0';
  }
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, route + '\0');
  SetBytes(DRIVER_LINKAGE_KEY, VAL_BIND, REG_MULTI_SZ, device + '\0');
  SetBytes(DRIVER_LINKAGE_KEY, VAL_EXPORT, REG_MULTI_SZ, device + '\0');
}

inline std::string Linkage(const char* list) { return GetBytes(DRIVER_LINKAGE_KEY, list); }

// Turns the trace on into a temporary file for the life of the object.
class TraceCapture {
 public:
  TraceCapture() : saved_flag_(debugFlag), saved_fp_(fp), file_(tmpfile()) {
    debugFlag = 1;
    fp = file_;
  }
  ~TraceCapture() {
    debugFlag = saved_flag_;
    fp = saved_fp_;
    fclose(file_);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // How often `line` (with its line feed) was traced so far, whole lines only. Reads only what
  // was written since the last call, from the file itself, so another thread may be tracing.
  size_t Count(const std::string& line) {
    char buffer[65536];
    ssize_t n;
    while ((n = pread(fileno(file_), buffer, sizeof buffer, counted_offset_)) > 0) {
      counted_offset_ += n;
      partial_.append(buffer, static_cast<size_t>(n));
    }
    size_t start = 0;
    for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
      ++counts_[partial_.substr(start, end + 1 - start)];
    }
    partial_.erase(0, start);
    return counts_[line];
  }

  std::string text() const {
    fflush(file_);
    std::string result;
    rewind(file_);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file_)) > 0) result.append(buffer, n);
    fseek(file_, 0, SEEK_END);
    return result;
  }

 private:
  int saved_flag_;
  FILE* saved_fp_;
  FILE* file_;
  off_t counted_offset_ = 0;
  std::string partial_;  // the unfinished last line, for Count
  std::map<std::string, size_t> counts_;
};

}  // namespace monitor_test

#endif  // PORTWARDEN_MONITOR_TEST_UTIL_H
