#pragma once
// Environment variables set and cleared by tests, on POSIX and on Windows.

#include <cstdlib>

namespace vantrel::test {

inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);  // NOLINT(concurrency-mt-unsafe): set before the code under test runs
#endif
}

inline void ClearEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");  // an empty value removes the variable
#else
    unsetenv(name);          // NOLINT(concurrency-mt-unsafe): cleared after the code under test ran
#endif
}

}  // namespace vantrel::test
