#include <windows.h>

#include <fstream>

#include <gtest/gtest.h>

#include "temp_root.h"

namespace fs = std::filesystem;
using pairway::testing::BuildDir;
using pairway::testing::InstallInSystemDir;
using pairway::testing::TempRoot;

namespace {

using AddFunction = int (*)(int, int);

fs::path ProbeModule() { return BuildDir() / "lib/tests/pairway_probe_module.so"; }

TEST(Module, BareNameIsFoundInTheSystemDirectoryWithoutRegardToCase) {
  TempRoot root;
  InstallInSystemDir(root, "Probe.DLL", ProbeModule());
  HMODULE module = LoadLibraryA("probe.dll");
  ASSERT_NE(module, nullptr) << GetLastError();
  auto add = reinterpret_cast<AddFunction>(GetProcAddress(module, "ProbeAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  char name[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(module, name, sizeof name), 0u);
  EXPECT_STREQ(name, "C:\\WINNT\\System32\\Probe.DLL");
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Module, NameWithoutExtensionGetsDllAndNtPathsAreMapped) {
  TempRoot root;
  InstallInSystemDir(root, "probe.dll", ProbeModule());
  HMODULE a = LoadLibraryA("PROBE");
  HMODULE b = LoadLibraryA("%SystemRoot%\\system32\\probe.dll");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);  // one library, two references
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_NE(GetProcAddress(b, "ProbeAdd"), nullptr);
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_FALSE(FreeLibrary(b));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Module, MissingAndBrokenLibrariesFailWithThePlatformsCodes) {
  TempRoot root;
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  fs::path system = InstallInSystemDir(root, "probe.dll", ProbeModule()).parent_path();
  std::ofstream(system / "broken.dll") << "not a library";
  EXPECT_EQ(LoadLibraryA("broken.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LoadLibraryA("C:\\..\\..\\probe.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  // A host path is an NT path of the root, never a way to the host's own files.
  EXPECT_EQ(LoadLibraryA(ProbeModule().c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Module, OnlyTheModulesOwnExportsAreFound) {
  TempRoot root;
  InstallInSystemDir(root, "probe.dll", ProbeModule());
  HMODULE module = LoadLibraryA("probe.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // The module links the platform library, but does not export its calls.
  EXPECT_EQ(GetProcAddress(module, "GetLastError"), nullptr);
  EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(1)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  FreeLibrary(module);
}

TEST(Module, HandlesNeverLoadedAreRefused) {
  int not_a_module = 0;
  auto* bogus = reinterpret_cast<HMODULE>(&not_a_module);
  EXPECT_EQ(GetProcAddress(bogus, "ProbeAdd"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FreeLibrary(bogus));
  char name[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameA(bogus, name, sizeof name), 0u);
}

TEST(Module, ProgramNameIsTruncatedAsThePlatformDoes) {
  char name[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
  ASSERT_GT(n, 0u);
  EXPECT_NE(std::string(name).find("platform_kernel_tests"), std::string::npos);
  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), std::string(name, 4));
}

}  // namespace
