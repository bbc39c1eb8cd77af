// A property a fuzz target checks on every input: when it does not hold, the input is a crash
// that libFuzzer saves, like any sanitizer report.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__,        \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
