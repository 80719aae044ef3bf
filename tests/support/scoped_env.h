#pragma once
// Sets an environment variable for one test and puts the old value back.
// The environment is process-wide and not safe to change while other threads
// read it: a test uses this only while no thread of its own runs, and the
// code under test reads the environment on the test's thread.

#include <cstdlib>
#include <optional>
#include <string>

namespace vantrel::testing {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;  // NOLINT(concurrency-mt-unsafe)
        ::setenv(name, value.c_str(), 1);                      // NOLINT(concurrency-mt-unsafe)
    }
    ~ScopedEnv() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
        else
            ::unsetenv(m_name);  // NOLINT(concurrency-mt-unsafe)
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

}  // namespace vantrel::testing
