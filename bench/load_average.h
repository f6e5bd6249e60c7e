// The machine's load average as "1-min 5-min 15-min", printed beside every figure: on a shared
// machine it says how far wall times can be trusted.
#ifndef PAIRWAY_BENCH_LOAD_AVERAGE_H
#define PAIRWAY_BENCH_LOAD_AVERAGE_H

#include <stdio.h>
#include <stdlib.h>

#include <string>

inline std::string LoadAverage() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3) return "?";
  char text[64];
  snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

#endif  // PAIRWAY_BENCH_LOAD_AVERAGE_H
