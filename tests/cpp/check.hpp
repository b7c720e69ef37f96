#pragma once
// The failure count and checks every C++ test shares: a test reports each failure
// on a line of its own, carries on, and returns finish() from main.
#include <cstdarg>
#include <cstdio>

namespace cpptest {

inline int failures = 0;

// A failure described printf-style.
[[gnu::format(printf, 1, 2)]] inline void fail(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::printf("FAIL: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    ++failures;
}

inline bool expect(bool ok, const char* what) {
    if (!ok) fail("%s", what);
    return ok;
}

// The summary line and the exit status of the test program.
inline int finish(const char* name) {
    if (failures == 0) std::printf("%s: all checks passed\n", name);
    else std::printf("%s: %d failures\n", name, failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace cpptest

// The condition's text and place are the message.
#define CHECK(cond) ::cpptest::expect((cond), __FILE__ ":" CHECK_LINE_TEXT(__LINE__) ": " #cond)
#define CHECK_LINE_TEXT(line) CHECK_STRINGIFY(line)
#define CHECK_STRINGIFY(x) #x
