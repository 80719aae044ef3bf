#pragma once
// The fixture of every test that runs vantrel-cli: a scratch folder of the
// test's own (named after it), the program run as a user would run it, and
// file helpers. The test target defines VANTREL_CLI, the program's path.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/cli_runner.h"
#include "support/scratch_dir.h"

namespace vantrel::testing {

class CliFixture : public ::testing::Test {
protected:
    // Standard error, and standard output unless `call` redirects it, come
    // back in the result.
    CliRun RunProgram(const std::string& args, const CliCall& call = {}) const {
        return RunCli(VANTREL_CLI, args, m_dir, call);
    }
    std::string Path(const std::string& name) const { return m_scratch / name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }

    const ScratchDir m_scratch{TestTag()};
    const std::filesystem::path m_dir = m_scratch.Path();

private:
    static std::string TestTag() {
        std::string tag = "cli_";
        if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
            tag += info->name();
        for (char& c : tag)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return tag;
    }
};

}  // namespace vantrel::testing
