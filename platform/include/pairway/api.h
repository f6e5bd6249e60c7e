// api.h: marks the layer's own C++ calls that Pairway's tools and tests use across the library
// boundary (the platform's C calls are exported through WINBASEAPI).
#ifndef PAIRWAY_API_H
#define PAIRWAY_API_H

#define PAIRWAY_API __attribute__((visibility("default")))

#endif  // PAIRWAY_API_H
