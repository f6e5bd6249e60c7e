// The test library: two exports, and a counter to show that loads share one instance.
#include <windows.h>

namespace {
int loads = 0;
}

extern "C" __attribute__((visibility("default"))) int ProbeAdd(int a, int b) { return a + b; }

extern "C" __attribute__((visibility("default"))) int ProbeCount() { return ++loads; }
