#pragma once
// The C++ tests' one assertion: report the failed condition and carry on, so one
// run lists every failure; main() returns `check_failures() == 0 ? 0 : 1`.
#include <cstdio>

inline int& check_failures() {
    static int failures = 0;
    return failures;
}

#define CHECK(cond)                                                     \
    do {                                                                \
        if (!(cond)) {                                                  \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++check_failures();                                         \
        }                                                               \
    } while (0)
