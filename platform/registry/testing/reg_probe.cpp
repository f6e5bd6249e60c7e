// reg_probe: a second process for the registry tests.
//
//   reg_probe set KEY NAME TEXT     store TEXT as REG_SZ under HKLM\KEY
//   reg_probe burst KEY PREFIX N    store N REG_DWORD values PREFIX0..; print each index once its
//                                   write has returned success
//   reg_probe wait KEY              wait for a value change under HKLM\KEY (subtree); print "woke"
//   reg_probe hold KEY NAME         begin a write transaction, store NAME in it, print "holding"
//                                   and sleep inside it until killed
//   reg_probe open KEY              keep the hive open (HKLM\KEY made if missing), print "open"
//                                   and sleep until killed
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "pairway/registry_batch.h"

static int Fail(const char* what, LONG error) {
  fprintf(stderr, "reg_probe: %s failed with %ld\n", what, static_cast<long>(error));
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: reg_probe set|burst|wait|hold|open KEY ...\n");
    return 2;
  }
  HKEY key;
  LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &key, nullptr);
  if (error != ERROR_SUCCESS) return Fail("RegCreateKeyExA", error);
  if (strcmp(argv[1], "set") == 0 && argc == 5) {
    error = RegSetValueExA(key, argv[3], 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[4]),
                           static_cast<DWORD>(strlen(argv[4]) + 1));
    return error == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", error);
  }
  if (strcmp(argv[1], "burst") == 0 && argc == 5) {
    long count = strtol(argv[4], nullptr, 10);
    for (DWORD i = 0; i < static_cast<DWORD>(count); ++i) {
      std::string name = argv[3] + std::to_string(i);
      error = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                             sizeof i);
      if (error != ERROR_SUCCESS) return Fail("RegSetValueExA", error);
      printf("%u\n", i);
      fflush(stdout);
    }
    return 0;
  }
  if (strcmp(argv[1], "hold") == 0 && argc == 4) {
    pairway::RegistryBatch batch;
    if (batch.status() != ERROR_SUCCESS) return Fail("RegistryBatch", batch.status());
    DWORD one = 1;
    error =
        RegSetValueExA(key, argv[3], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    if (error != ERROR_SUCCESS) return Fail("RegSetValueExA", error);
    printf("holding\n");
    fflush(stdout);
    for (;;) Sleep(INFINITE);
  }
  if (strcmp(argv[1], "open") == 0) {
    printf("open\n");
    fflush(stdout);
    for (;;) Sleep(INFINITE);
  }
  if (strcmp(argv[1], "wait") == 0) {
    printf("armed\n");
    fflush(stdout);
    error = RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
    if (error != ERROR_SUCCESS) return Fail("RegNotifyChangeKeyValue", error);
    printf("woke\n");
    return 0;
  }
  fprintf(stderr, "reg_probe: bad arguments\n");
  return 2;
}
