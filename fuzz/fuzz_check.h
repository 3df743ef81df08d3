// FUZZ_CHECK: the fuzz targets' assertion. Unlike assert() it also holds in
// release builds; a failure prints the condition and aborts, which libFuzzer
// reports as a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

// clang-format off
#define FUZZ_CHECK(condition)                                                                   \
  ((condition) ? void() : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                                        #condition),                                              \
                           std::abort()))
